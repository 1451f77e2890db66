// The desktop's own implementations of the platform services: message boxes, the file
// picker, printing, helper programs, the clocks and the random source.
#include "platform/FilePicker.h"
#include "platform/MessageBoxes.h"
#include "platform/Printing.h"
#include "platform/Programs.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTextDocument>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace
{

QMessageBox::Icon toQt(MessageBoxes::Icon icon)
{
    switch (icon) {
    case MessageBoxes::Icon::None:
        return QMessageBox::NoIcon;
    case MessageBoxes::Icon::Information:
        return QMessageBox::Information;
    case MessageBoxes::Icon::Question:
        return QMessageBox::Question;
    case MessageBoxes::Icon::Warning:
        return QMessageBox::Warning;
    case MessageBoxes::Icon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// A process that has exited but was not yet reaped still answers kill(pid, 0); it counts as
// gone, since there is no window left to close.
bool isZombie(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 kStatHeadBytes = 512;
    const QByteArray head = stat.read(kStatHeadBytes);
    // The state letter follows the command name, which is in parentheses and may hold any
    // character, so the last ')' is the one that closes it.
    const qsizetype close = head.lastIndexOf(')');
    return close >= 0 && close + 2 < head.size() && head.at(close + 2) == 'Z';
}

} // namespace

void DesktopMessageBoxes::inform(QWidget *owner, const QString &text, const QString &title,
                                 Icon icon)
{
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, owner);
    box.exec();
}

bool DesktopMessageBoxes::askYesNo(QWidget *owner, const QString &text, const QString &title,
                                   Icon icon)
{
    QMessageBox box(toQt(icon), title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void DesktopMessageBoxes::informLater(QWidget *owner, const QString &text, const QString &title,
                                      std::function<void()> onClosed)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QDialog::finished, box, [onClosed = std::move(onClosed)](int) {
        if (onClosed)
            onClosed();
    });
    box->open();
}

QString DesktopFilePicker::pick(QWidget *owner, const Request &request)
{
    QFileDialog dialog(owner, request.title, request.initialFolder, request.filter);
    // An open dialog that takes names of files yet to be made: the log writer creates them.
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // A wildcard suffix ("*") means "any extension" and must not be appended to the name.
    if (!request.defaultSuffix.isEmpty() && !request.defaultSuffix.contains(QLatin1Char('*')))
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.presetFileName.isEmpty())
        dialog.selectFile(request.presetFileName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

bool DesktopPrinting::printText(QWidget *owner, const QString &text)
{
    QPrinter printer;
    QPrintDialog dialog(&printer, owner);
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize |
                      QAbstractPrintDialog::PrintCollateCopies);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return printPlainText(printer, text);
}

bool printPlainText(QPrinter &printer, const QString &text)
{
    QTextDocument document;
    document.setPlainText(text);
    document.print(&printer);
    return printer.printerState() != QPrinter::Error;
}

QString DesktopPrograms::findProgram(const QStringList &candidates) const
{
    for (const QString &candidate : candidates) {
        const QString found = QStandardPaths::findExecutable(candidate);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

qint64 DesktopPrograms::start(const QString &program, const QStringList &arguments)
{
    qint64 pid = 0;
    if (!QProcess::startDetached(program, arguments, QString(), &pid))
        return 0;
    return pid > 0 ? pid : 0;
}

bool DesktopPrograms::terminate(qint64 taskId)
{
    if (taskId <= 0)
        return false;
    const auto pid = static_cast<pid_t>(taskId);
    if (static_cast<qint64>(pid) != taskId)
        return false;
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    if (isZombie(pid))
        return false;
    return ::kill(pid, SIGTERM) == 0;
}

bool DesktopPrograms::openUrl(const QString &url)
{
    return QDesktopServices::openUrl(QUrl(url));
}
