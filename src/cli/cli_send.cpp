#include "cli/cli_send.h"

#include "cli/cli_arguments.h"
#include "cli/cli_commands.h"
#include "desktop/intake_command.h"
#include "platform/bounded_file.h"
#include "platform/single_instance.h"
#include "speech/document_reader.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <optional>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

const char *const SendHelp = R"HELP(Usage: parlanto-cli send COMMAND [ARGUMENT]

Hands one command to the running Parlanto window, for scripts and desktop shortcuts.

Commands:
  read TEXT          stop, put TEXT in the document and read it ('-': standard input;
                     at most 512 KB, longer texts go as a file; 'read -- -x' reads "-x")
  read --selection   read the text selected last in any program (the primary selection)
  toggle             speak, pause or resume, as the window's Speak button
  stop               stop reading
  file PATH          open a document file (plain text, .rtf, PDF, EPUB, .odt, .docx,
                     HTML or Markdown) in the document and read it ('-': a document on
                     standard input, handed over as its text, at most 512 KB of it)
  voice TEXT         switch to a voice, named as for 'parlanto-cli speak --voice'
  quit               end Parlanto as "Exit all" does (settings written)
  open WINDOW        open a window of the running Parlanto: batch, converter,
                     clock, slide, update, about, help or menu

Exit status: 0 when the window took the command, 1 when no Parlanto is running or it
refused the command, 2 for a usage error. Nothing here starts Parlanto ('parlanto --open
WINDOW' does).
)HELP";

QTextStream &errStream()
{
    return cliErr();
}

int usage(const QString &reason)
{
    errStream() << "parlanto-cli: " << reason << "\n";
    errStream().flush();
    return ExitUsage;
}

int failure(const QString &reason)
{
    errStream() << "parlanto-cli: " << reason << "\n";
    errStream().flush();
    return ExitFailure;
}

QString tooLong()
{
    return QStringLiteral("the text is too long to hand over (at most %1); save it to a file and use "
                          "'parlanto-cli send file PATH'")
        .arg(BoundedFile::sizeText(SingleInstance::MaxCommandBytes));
}

std::optional<QString> primarySelection()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app || !QGuiApplication::clipboard()->supportsSelection())
        return std::nullopt;
    return QGuiApplication::clipboard()->text(QClipboard::Selection);
}

} // namespace

bool sendNeedsSelection(const QStringList &arguments)
{
    return arguments.size() >= 3 && arguments.at(0) == QLatin1String("send") &&
           arguments.at(1) == QLatin1String("read") && arguments.at(2) == QLatin1String("--selection");
}

int sendCommand(const QStringList &args)
{
    QStringList operands;
    bool selection = false;
    CliArguments reader(QStringLiteral("send"), args);
    while (reader.next()) {
        const QString &a = reader.current();
        if (reader.isOperand()) {
            operands.append(a);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            QTextStream(stdout) << SendHelp;
            return ExitOk;
        } else if (a == QLatin1String("--selection")) {
            selection = true;
        } else {
            return usage(reader.unknown());
        }
    }
    if (!reader.problem().isEmpty())
        return usage(reader.problem());
    if (operands.isEmpty())
        return usage(QStringLiteral("send needs a command (try 'parlanto-cli send --help')"));
    const QString what = operands.first();
    const QStringList rest = operands.mid(1);
    if (selection && (what != QLatin1String("read") || !rest.isEmpty()))
        return usage(QStringLiteral("--selection goes with 'send read' alone"));
    const auto needs = [&](int count) { return rest.size() == count; };

    if (isControlRequest(what))
        return sendControlRequest(what, rest);

    QString command;
    if (what == QLatin1String("toggle") && needs(0)) {
        command = Intake::toggleCommand();
    } else if (what == QLatin1String("stop") && needs(0)) {
        command = Intake::stopCommand();
    } else if (what == QLatin1String("read") && needs(selection ? 0 : 1)) {
        QString text = rest.value(0);
        if (selection) {
            const auto selection = primarySelection();
            if (!selection)
                return failure(QStringLiteral("no desktop selection can be read here"));
            text = *selection;
        } else if (text == QLatin1String("-")) {
            // One byte past the largest command is enough to know it is too long.
            const BoundedFile::Result in = BoundedFile::readStandardInput(SingleInstance::MaxCommandBytes);
            if (in.outcome == BoundedFile::Outcome::TooBig)
                return failure(tooLong());
            if (!in.ok())
                return failure(in.error);
            text = QString::fromUtf8(in.bytes);
        }
        if (text.trimmed().isEmpty())
            return failure(QStringLiteral("nothing to read: the text is empty"));
        command = Intake::readCommand(text);
    } else if (what == QLatin1String("file") && needs(1) && rest.first() == QLatin1String("-")) {
        // A document on standard input has no path to hand over: its text goes, as 'read' sends it.
        const BoundedFile::Result in = BoundedFile::readStandardInput(largestDocumentBytes);
        if (!in.ok())
            return failure(in.error);
        const DocumentText document = readDocumentBytes(in.bytes, QString());
        if (!document.ok)
            return failure(document.error);
        if (document.text.trimmed().isEmpty())
            return failure(QStringLiteral("nothing to read: the text is empty"));
        command = Intake::readCommand(document.text);
    } else if (what == QLatin1String("file") && needs(1)) {
        const QString path = rest.first();
        switch (BoundedFile::probe(path)) {
        case BoundedFile::Outcome::Ok:
            break;
        case BoundedFile::Outcome::Missing:
            return failure(QStringLiteral("no such file: %1").arg(path));
        default:
            return failure(BoundedFile::read(path, 0).error);
        }
        command = QFileInfo(path).absoluteFilePath();
    } else if (what == QLatin1String("voice") && needs(1)) {
        // The voice is picked here, so the window gets the list text it knows.
        QStringList candidates;
        const auto voice =
            rest.first().trimmed().isEmpty() ? std::nullopt : findCliVoice(rest.first(), &candidates);
        if (!voice)
            return voiceNotFound(rest.first(), candidates);
        command = Intake::voiceCommand(voice->generation, voice->index, voice->text);
    } else {
        return usage(
            QStringLiteral("send: unknown command or wrong arguments: %1 (try 'parlanto-cli send --help')")
                .arg(args.join(QLatin1Char(' '))));
    }

    if (command.toUtf8().size() > SingleInstance::MaxCommandBytes)
        return failure(tooLong());
    switch (SingleInstance().deliver(command)) {
    case SingleInstance::Delivery::Accepted:
        break;
    case SingleInstance::Delivery::Refused:
        return failure(QStringLiteral("Parlanto refused the command (its window says why)"));
    case SingleInstance::Delivery::Unreachable:
        return failure(QStringLiteral("Parlanto is not running"));
    }
    return ExitOk;
}
