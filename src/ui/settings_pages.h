#pragma once

#include <array>

class QStackedWidget;
class QWidget;

namespace kolvane::ui {

// Where a node of the settings tree leads: the page shown, the node whose text captions the
// page and the node whose text captions its inner page (-1: none).
struct CfgNode {
  int page;
  int outer;
  int inner;
};
inline constexpr int kCfgNodes = 19;
inline constexpr std::array<CfgNode, kCfgNodes> kCfgNodeTable{{
    {0, 0, -1},   {1, 1, -1},   {2, 2, -1},   {3, 3, 4},    {3, 3, 4},    {4, 3, 5},   {5, 3, 6},
    {6, 3, 7},    {7, 3, 8},    {8, 9, 10},   {8, 9, 10},   {9, 9, 11},   {10, 9, 12}, {11, 13, -1},
    {12, 14, -1}, {13, 14, 15}, {14, 14, 16}, {15, 17, -1}, {16, 17, 18},
}};

// The pages of the settings dialog, one stacked page per distinct page; every control is
// named for what it edits (its settings key) or for its caption-table entry.
QStackedWidget* buildSettingsPages(QWidget* parent);

}  // namespace kolvane::ui
