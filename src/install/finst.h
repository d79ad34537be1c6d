#pragma once

#include <QDialog>
#include <functional>

#include "install/destination_check.h"
#include "install/setup_run.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace kolvane {
class Language;
}

namespace kolvane::install {

// The setup wizard: install, upgrade, change the setup or remove the gateway.
class FInst : public QDialog {
  Q_OBJECT

 public:
  enum Page { ModePage, LicencePage, PathPage, GroupPage, PortPage, EndPage };

  FInst(Language& language, const QString& version, SetupFolders folders,
        QWidget* parent = nullptr);

  // Message boxes; tests record them instead.
  using MessageBox = std::function<void(const QString& text, bool error)>;
  void setMessageBox(MessageBox box) { messageBox_ = std::move(box); }
  void setCopyStarter(CopyStarter start) { startCopy_ = std::move(start); }

  int currentPage() const;
  void applyLanguage();

 private:
  QWidget* buildModePage();
  QWidget* buildLicencePage();
  QWidget* buildPathPage();
  QWidget* buildGroupPage();
  QWidget* buildPortPage();
  QWidget* buildEndPage();
  QWidget* buildButtons();

  SetupMode mode() const;
  QString caption(const char* control) const;
  void modeChosen();
  void next();
  void back();
  void ok();
  void showPage(Page page);
  void enterPathPage();
  void leavePathPage();
  void checkDestination();
  void checkGroup();
  void fillExistingFolders();
  void setLanguage(const QString& name);

  Language& language_;
  QString version_;
  SetupFolders folders_;
  MessageBox messageBox_;
  CopyStarter startCopy_ = startDetachedCopy;
  bool agreed_ = false;

  QStackedWidget* pages_ = nullptr;
  QList<QRadioButton*> modes_;
  QLineEdit* destination_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLabel* status_ = nullptr;
  QListWidget* files_ = nullptr;
  QCheckBox* keep_ = nullptr;
  QCheckBox* rename_ = nullptr;
  QLabel* iniChanged_ = nullptr;
  QLabel* folderRemoved_ = nullptr;
  QLabel* missing_ = nullptr;
  QLabel* modeHint_ = nullptr;
  QLabel* selectOld_ = nullptr;
  QLineEdit* group_ = nullptr;
  QListWidget* existing_ = nullptr;
  QCheckBox* desktopIcon_ = nullptr;
  QCheckBox* startupIcon_ = nullptr;
  QComboBox* port_ = nullptr;
  QLineEdit* comNo_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* langIni_ = nullptr;
  QLabel* versionPanel_ = nullptr;
};

}  // namespace kolvane::install
