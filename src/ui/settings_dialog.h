#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "settings/language_export.h"

class QLabel;
class QStackedWidget;
class QTreeWidget;

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

// The settings dialog: copies the settings into its controls when opened and back when "OK"
// is pressed; "Cancel" changes nothing.
class FCfg : public QDialog {
  Q_OBJECT

 public:
  explicit FCfg(Gateway& g, QWidget* parent = nullptr);

  // Shows the dialog modally on a tree node (below 0: the page saved last) with the focus on a
  // named control; returns the dialog's result.
  int openAt(int node, const QString& focus);

  // The opening steps: settings into the controls.
  void loadControls();
  // The "OK" steps: controls into the settings, the gateway and the settings file.
  void saveControls();
  void selectNode(int node);
  int currentNode() const;
  QString headerText() const;
  // The captions of the language in force.
  void applyLanguage();

  template <typename W>
  W* control(const char* name) const {
    return findChild<W*>(QLatin1String(name));
  }

  // Opens a document with the desktop's viewer (the charset test page).
  std::function<void(const QString& path)> openDocument;
  // Message boxes of the language export.
  LanguageDialogs languageDialogs;
  // Tells that a number field holds a value outside its range ("min - max"); OK then waits.
  std::function<void(const QString& range)> outOfRange;

  void accept() override;
  // Both "OK" and "Cancel" keep the dialog's placement for the next opening.
  void done(int result) override;

 private:
  void build();
  void wireRules();
  // Number fields take only what the program can use, and say so in their hint.
  void limitNumberFields();
  // False, with the field shown and the range told, when a number field is out of range.
  bool numbersInRange();
  void deviceRules(bool userChangedDevice);
  void fillGatewayDefaults();
  void intervalStatus();
  void intervalEnabling();
  void basketEnabling();
  void longSmsCaption();
  void concatenationHint();
  void charsetDescription();
  void refreshCatalogueTexts();
  void addKnownComputerNames();
  void charsetTest();
  void readVerificationText();
  void languageButton(const QString& name, bool exportToo);
  QString selectedDeviceId() const;

  Gateway& g_;
  QTreeWidget* tree_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLabel* header_ = nullptr;
  std::array<QString, 19> nodeText_;
  bool loading_ = false;
};

}  // namespace kolvane::ui
