// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace verdaline {

namespace {

constexpr int kAllowMultiSelect = 0x200;

struct ButtonSet {
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton escape;  // NoButton: the box can't be dismissed without a choice
};

ButtonSet ButtonsFor(int style) {
  switch (style & mb::kButtonsMask) {
    case mb::kOkCancel: return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel};
    case mb::kAbortRetryIgnore:
      return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::NoButton};
    case mb::kYesNoCancel:
      return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel};
    case mb::kYesNo: return {QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton};
    case mb::kRetryCancel: return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Cancel};
    default: return {QMessageBox::Ok, QMessageBox::Ok};
  }
}

QMessageBox::Icon IconFor(int style) {
  switch (style & mb::kIconMask) {
    case mb::kCritical: return QMessageBox::Critical;
    case mb::kQuestion: return QMessageBox::Question;
    case mb::kExclamation: return QMessageBox::Warning;
    case mb::kInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

int ResultOf(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok: return mb::kOk;
    case QMessageBox::Cancel: return mb::kCancel;
    case QMessageBox::Abort: return mb::kAbort;
    case QMessageBox::Retry: return mb::kRetry;
    case QMessageBox::Ignore: return mb::kIgnore;
    case QMessageBox::Yes: return mb::kYes;
    case QMessageBox::No: return mb::kNo;
    default: return mb::kCancel;
  }
}

// The buttons in the order the box shows them, for the default-button bits.
QList<QMessageBox::StandardButton> Ordered(QMessageBox::StandardButtons set) {
  static const QMessageBox::StandardButton order[] = {
      QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore, QMessageBox::Yes,
      QMessageBox::No,    QMessageBox::Ok,    QMessageBox::Cancel};
  QList<QMessageBox::StandardButton> list;
  for (auto b : order)
    if (set.testFlag(b)) list.push_back(b);
  return list;
}

QWidget* ActiveOwner() { return QApplication::activeWindow(); }

}  // namespace

int QtPlatform::MsgBox(const QString& text, int style, const QString& title) {
  ThrowIfEnding();
  const ButtonSet set = ButtonsFor(style);
  QMessageBox box(IconFor(style), title.isEmpty() ? kAppTitle : title, text, set.buttons, ActiveOwner());
  const auto ordered = Ordered(set.buttons);
  const int defaultIndex = (style & mb::kDefaultButtonMask) >> 8;
  if (defaultIndex < ordered.size()) box.setDefaultButton(ordered[defaultIndex]);
  if (set.escape != QMessageBox::NoButton) box.setEscapeButton(set.escape);
  box.setTextFormat(Qt::PlainText);
  const int pressed = box.exec();
  ThrowIfEnding();
  return ResultOf(static_cast<QMessageBox::StandardButton>(pressed));
}

QString QtFilterFromPipes(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& desc = parts[i];
    const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
    if (desc.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
      out << desc;
    else
      out << desc + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return out.join(QStringLiteral(";;"));
}

QString JoinOpenResult(const QStringList& nativePaths) {
  if (nativePaths.isEmpty()) return QString();
  if (nativePaths.size() == 1) return nativePaths.front();
  const QChar sep = QDir::separator();
  auto folderOf = [&](const QString& p) { return p.left(p.lastIndexOf(sep)); };
  const QString folder = folderOf(nativePaths.front());
  bool sameFolder = true;
  for (const QString& p : nativePaths)
    if (folderOf(p) != folder) sameFolder = false;
  QStringList parts;
  if (sameFolder && !folder.isEmpty()) {
    parts << folder;
    for (const QString& p : nativePaths) parts << p.mid(folder.size() + 1);
  } else {
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    parts << root;
    for (const QString& p : nativePaths) parts << (p.startsWith(root) ? p.mid(root.size()) : p);
  }
  return parts.join(QChar(u'\0'));
}

QString QtPlatform::ShowOpen(QWidget* owner, const OpenFileRequest& request) {
  ThrowIfEnding();
  QFileDialog dialog(owner, QStringLiteral("Open"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Names typed into the box are taken as typed, whether they exist or not.
  dialog.setFileMode((request.flags & kAllowMultiSelect) ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
  const QString filter = QtFilterFromPipes(request.filter);
  if (!filter.isEmpty()) dialog.setNameFilter(filter);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  ThrowIfEnding();
  if (!accepted) return QString();
  QStringList chosen;
  for (const QString& f : dialog.selectedFiles()) chosen << QDir::toNativeSeparators(f);
  return JoinOpenResult(chosen);
}

QString QtPlatform::ChooseFolder(QWidget* owner, const QString& title) {
  ThrowIfEnding();
  const QString dir = QFileDialog::getExistingDirectory(owner, title);
  ThrowIfEnding();
  return QDir::toNativeSeparators(dir);
}

void QtPlatform::DoEvents() {
  ThrowIfEnding();
  QCoreApplication::processEvents();
  ThrowIfEnding();
}

void QtPlatform::SetMousePointer(int pointer) {
  ThrowIfEnding();
  const bool busy = pointer == kPointerBusy;
  if (busy && !busyPointer_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  if (!busy && busyPointer_) QGuiApplication::restoreOverrideCursor();
  busyPointer_ = busy;
}

void QtPlatform::Quit(int exitCode) {
  if (busyPointer_) QGuiApplication::restoreOverrideCursor();
  busyPointer_ = false;
  QCoreApplication::exit(exitCode);
}

}  // namespace verdaline
