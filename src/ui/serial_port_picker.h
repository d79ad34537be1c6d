#pragma once

#include <QComboBox>
#include <QList>
#include <QString>
#include <functional>

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

// A serial device the system lists: its path, maker and product.
struct SerialPortFound {
  QString path;  // e.g. /dev/ttyUSB0
  QString manufacturer;
  QString product;
};

// The serial devices present (Qt Serial Port's list).
QList<SerialPortFound> presentSerialPorts();

// One line of the picker: the path that is saved and the text that shows.
struct SerialPortChoice {
  QString path;
  QString text;
};

// The picker's lines: for every port its stable name from `byIdDir` (a folder of links to the
// devices, /dev/serial/by-id) when there is one, then its plain path.
QList<SerialPortChoice> serialPortChoices(const QList<SerialPortFound>& ports,
                                          const QString& byIdDir);

// The device field ComName: an editable list of the serial devices present; a typed path
// (a pseudo-terminal, a device not listed) is kept as typed. Empty means "the COM number".
class SerialPortPicker : public QComboBox {
  Q_OBJECT

 public:
  using PortSource = std::function<QList<SerialPortChoice>()>;

  explicit SerialPortPicker(QWidget* parent = nullptr);
  // Where the list comes from: the system's ports by default.
  void setPortSource(PortSource source) { source_ = std::move(source); }
  // Lists the ports again, keeping the text in the field.
  void refreshPorts() { setPorts(source_()); }
  void setPorts(const QList<SerialPortChoice>& choices);
  void setPath(const QString& path);
  QString path() const;
  // Lists the ports again before the list opens.
  void showPopup() override;

 private:
  PortSource source_;
};

// Takes a device path as ComName and writes it to the settings file at once: the file's
// shutdown save does not carry it.
void storeComName(Gateway& g, const QString& path);

}  // namespace kolvane::ui
