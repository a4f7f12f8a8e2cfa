#include "form/qt/qt_shell.hpp"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>
#include <QString>

#include "os/os.hpp"

namespace quorvel::form::qt {
namespace {

QString toQt(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

class QtShell final : public Shell {
 public:
  void message(std::string_view text, std::string_view title) override {
    QMessageBox box(QMessageBox::NoIcon, toQt(title), toQt(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }

  Answer confirm(std::string_view text, std::string_view title) override {
    QMessageBox box(QMessageBox::NoIcon, toQt(title), toQt(text),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);  // also what the close box answers
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
  }

  std::optional<std::string> chooseFolder(std::string_view title) override {
    // Qt's own dialog: its path field can be typed into, which the desktop's may not offer.
    // It opens at the desktop, with nothing chosen in advance.
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!QDir(start).exists()) start = QDir::homePath();
    const QString chosen = QFileDialog::getExistingDirectory(
        nullptr, toQt(title), start, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty()) return std::nullopt;
    // File names are bytes: encode them as the file system does, not as display text.
    const QByteArray bytes = QFile::encodeName(chosen);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }

  void open(std::string_view path) override { os::openWithDesktop(path); }
};

}  // namespace

std::unique_ptr<Shell> makeShell() {
  return std::make_unique<QtShell>();
}

}  // namespace quorvel::form::qt
