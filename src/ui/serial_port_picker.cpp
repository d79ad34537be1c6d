#include "ui/serial_port_picker.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QStandardItem>
#include <QStandardItemModel>

#include "core/gateway.h"

namespace kolvane::ui {

namespace {

constexpr char kByIdDir[] = "/dev/serial/by-id";

// The field takes the path when a line is chosen; the list shows the whole text.
class ChoiceItem : public QStandardItem {
 public:
  explicit ChoiceItem(const SerialPortChoice& c) : QStandardItem(c.text), path_(c.path) {
    setToolTip(c.text);
  }
  QVariant data(int role) const override {
    return role == Qt::EditRole ? QVariant(path_) : QStandardItem::data(role);
  }

 private:
  QString path_;
};

}  // namespace

QList<SerialPortFound> presentSerialPorts() {
  QList<SerialPortFound> out;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    out.append({info.systemLocation(), info.manufacturer(), info.description()});
  }
  return out;
}

QList<SerialPortChoice> serialPortChoices(const QList<SerialPortFound>& ports,
                                          const QString& byIdDir) {
  const QFileInfoList links = QDir(byIdDir).entryInfoList(QDir::System | QDir::Files, QDir::Name);
  QList<SerialPortChoice> out;
  for (const SerialPortFound& port : ports) {
    QString about = port.manufacturer;
    if (!port.product.isEmpty() && port.product != port.manufacturer) {
      about += (about.isEmpty() ? QString() : QStringLiteral(" ")) + port.product;
    }
    const QString tail = about.isEmpty() ? QString() : QStringLiteral("   ") + about;
    const QString device = QFileInfo(port.path).canonicalFilePath();
    for (const QFileInfo& link : links) {
      if (!device.isEmpty() && link.canonicalFilePath() == device) {
        out.append({link.absoluteFilePath(), link.absoluteFilePath() + QStringLiteral("   (") +
                                                 QFileInfo(port.path).fileName() +
                                                 QLatin1Char(')') + tail});
      }
    }
    out.append({port.path, port.path + tail});
  }
  return out;
}

SerialPortPicker::SerialPortPicker(QWidget* parent)
    : QComboBox(parent),
      source_([] { return serialPortChoices(presentSerialPorts(), QLatin1String(kByIdDir)); }) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setModel(new QStandardItemModel(this));
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(18);
}

void SerialPortPicker::setPorts(const QList<SerialPortChoice>& choices) {
  const QString typed = path();
  auto* items = static_cast<QStandardItemModel*>(model());
  items->clear();
  for (const SerialPortChoice& c : choices) items->appendRow(new ChoiceItem(c));
  // The list shows whole lines (path, maker and product) however narrow the field is.
  view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth() + 24);
  setPath(typed);
}

void SerialPortPicker::setPath(const QString& path) {
  setCurrentIndex(-1);
  setEditText(path);
}

QString SerialPortPicker::path() const {
  return currentText().trimmed();
}

void SerialPortPicker::showPopup() {
  // A modem plugged in since the last look shows up.
  refreshPorts();
  QComboBox::showPopup();
}

void storeComName(Gateway& g, const QString& path) {
  if (g.state().cfg.ComName == path) return;
  g.state().cfg.ComName = path;
  if (IniFile* file = g.settingsFile()) {
    file->update([&](IniText& ini) {
      ini.setValue(QStringLiteral("CFG"), QStringLiteral("ComName"), path);
    });
  }
}

}  // namespace kolvane::ui
