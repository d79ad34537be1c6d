#pragma once

#include <QString>
#include <span>

namespace kolvane {

// What a caption entry sets on its form.
enum class CaptionTarget {
  Control,   // a label, button, check box, radio button or group: one caption
  TreeNode,  // a node of a tree view, by its index in the tree's flat order
  GridCell,  // a cell of a string grid, by column and row (titles at row 0)
  ListBox,   // a list box: one item per CR-separated line of the text
};

// One translated caption of a form: the main window (FMain), the settings dialog (FCfg), the
// installer (FInst), the send-SMS dialog (fSiSend), the alarm window and the monitor views.
// Texts are UTF-8.
struct CaptionEntry {
  const char* form;
  CaptionTarget target;
  const char* control;
  int index;  // tree node index, or grid column
  int row;    // grid row
  const char* english;
  const char* czech;
  // FCfg tree nodes: the dialog page that takes the node's text as its caption.
  const char* page = nullptr;
};

// The control name under which a form's window title is kept, and the grid of the views.
inline constexpr char kCaptionTitle[] = "Caption";
inline constexpr char kViewGrid[] = "SG1";

// The whole table, in the order it is applied and exported.
std::span<const CaptionEntry> captionEntries();

// The language-file key of a caption, tree node or grid cell ("LaMa1", "tv1_4",
// "SgAs1_0_0"); for a list box the key of its line (from 1) is listItemKey's.
QString captionKey(const CaptionEntry& entry);
QString listItemKey(const CaptionEntry& entry, int line);

// The installer's licence list keeps its text when the language file is in force.
bool keepsTextUnderLanguageFile(const CaptionEntry& entry);

}  // namespace kolvane
