#include "cli/cli_send.h"

#include "desktop/control_command.h"
#include "platform/single_instance.h"

#include <QTextStream>

// parlanto-cli send quit / send open WINDOW: control requests to the running Parlanto.

namespace {

int complain(const QString &reason, int status)
{
    QTextStream err(stderr);
    err << "parlanto-cli: " << reason << "\n";
    return status;
}

} // namespace

bool isControlRequest(const QString &what)
{
    return what == QLatin1String("quit") || what == QLatin1String("open");
}

int sendControlRequest(const QString &what, const QStringList &rest)
{
    using ControlCommand::Request;
    Request request;
    if (what == QLatin1String("quit") && rest.isEmpty()) {
        request.kind = Request::Kind::Quit;
    } else if (what == QLatin1String("open") && rest.size() == 1 &&
               ControlCommand::windowNamed(rest.first())) {
        request.kind = Request::Kind::Open;
        request.window = *ControlCommand::windowNamed(rest.first());
    } else {
        return complain(QStringLiteral("send %1: expected %2")
                            .arg(what, what == QLatin1String("quit")
                                           ? QStringLiteral("no argument")
                                           : QStringLiteral("one of: ") +
                                                 ControlCommand::windowNames().join(QStringLiteral(", "))),
                        2);
    }
    // Starting Parlanto is not this command's job: 'parlanto --open WINDOW' does that.
    if (!SingleInstance().send(ControlCommand::command(request)))
        return complain(QStringLiteral("Parlanto is not running"), 1);
    return 0;
}
