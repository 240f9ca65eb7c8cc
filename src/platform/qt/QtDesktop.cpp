#include "platform/qt/QtDesktop.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtText.h"

namespace vocara::platform::qt {

namespace {

QMessageBox::Icon ToIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QStringList NameFilters(const std::vector<FileFilter>& filters) {
  QStringList result;
  for (const FileFilter& filter : filters) {
    QStringList patterns = ToQString(filter.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      pattern = pattern.trimmed();
    }
    // The dialog hides the part in the last brackets, so the description shows as it is.
    result << ToQString(filter.description) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                  QLatin1Char(')');
  }
  return result;
}

MessageAnswer QtDesktop::ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons,
                                     MessageAnswer defaultAnswer) {
  OwnerPlaced<QMessageBox> box(ToIcon(icon), QString(), ToQString(text));
  if (buttons == MessageButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(defaultAnswer == MessageAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
  }
  const int answer = box.exec();
  if (buttons == MessageButtons::Ok) {
    return MessageAnswer::Ok;
  }
  return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

std::optional<std::string> QtDesktop::RunFileDialog(const FileDialogRequest& request, bool save) {
  OwnerPlaced<QFileDialog> dialog(nullptr, ToQString(request.title));
  // The same widget dialog everywhere, whose filters and default suffix behave alike.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save || !request.fileMustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.filters.empty()) {
    dialog.setNameFilters(NameFilters(request.filters));
  }
  const QString extension = ToQString(request.defaultExtension);
  dialog.setDefaultSuffix(extension);
  if (!request.initialName.empty()) {
    dialog.selectFile(ToQString(request.initialName));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  QString name = dialog.selectedFiles().constFirst();
  if (!extension.isEmpty() && QFileInfo(name).suffix().isEmpty()) {
    name += QLatin1Char('.') + extension;
  }
  return ToStdString(name);
}

std::optional<std::string> QtDesktop::GetOpenFileName(const FileDialogRequest& request) {
  return RunFileDialog(request, false);
}

std::optional<std::string> QtDesktop::GetSaveFileName(const FileDialogRequest& request) {
  return RunFileDialog(request, true);
}

bool QtDesktop::SetClipboardText(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) {
    return false;
  }
  clipboard->setText(ToQString(text));
  return true;
}

bool QtDesktop::OpenWithViewer(const std::string& path) {
  const QString name = ToQString(path);
  if (!QFileInfo(name).isFile()) return false;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  // Qt hands the document to xdg-open and counts a started xdg-open as success; without a
  // viewer for the type xdg-open fails at once, saying why on stderr only. Its exit status
  // is awaited briefly: one still running has started a viewer that holds it.
  auto* opener = new QProcess(QCoreApplication::instance());
  QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
  opener->setProcessChannelMode(QProcess::ForwardedChannels);
  opener->start(QStringLiteral("xdg-open"), {name});
  if (!opener->waitForStarted()) {
    opener->deleteLater();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(name));
  }
  constexpr int OpenerWaitMs = 1500;
  if (!opener->waitForFinished(OpenerWaitMs)) return true;
  return opener->exitStatus() == QProcess::NormalExit && opener->exitCode() == 0;
#else
  return QDesktopServices::openUrl(QUrl::fromLocalFile(name));
#endif
}

std::string QtDesktop::ProgramPath() const {
  if (!programPathOverride_.empty()) {
    return programPathOverride_;
  }
  return ToStdString(QCoreApplication::applicationFilePath());
}

std::string QtDesktop::UserConfigDirectory() const {
  return ToStdString(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

std::string QtDesktop::EnvironmentValue(const std::string& name) const {
  return ToStdString(qEnvironmentVariable(name.c_str()));
}

}  // namespace vocara::platform::qt
