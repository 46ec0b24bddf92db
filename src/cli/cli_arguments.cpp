#include "cli/cli_arguments.h"

#include <utility>

CliArguments::CliArguments(const QString &command, const QStringList &args) : m_command(command), m_args(args)
{}

bool CliArguments::next()
{
    if (m_attached) {
        m_problem =
            QStringLiteral("%1 takes no value (try 'parlanto-cli %2 --help')").arg(m_current, m_command);
        return false;
    }
    if (m_next >= m_args.size())
        return false;
    const QString &argument = m_args.at(m_next++);
    if (!m_onlyOperands && argument == QLatin1String("--")) {
        m_onlyOperands = true;
        return next();
    }
    m_operand = m_onlyOperands || argument == QLatin1String("-") || !argument.startsWith(QLatin1Char('-'));
    m_current = argument;
    if (!m_operand && argument.startsWith(QLatin1String("--"))) {
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (equals > 2) {
            m_current = argument.left(equals);
            m_attached = argument.mid(equals + 1);
        }
    }
    return true;
}

std::optional<QString> CliArguments::value()
{
    if (m_attached)
        return std::exchange(m_attached, std::nullopt);
    if (m_next >= m_args.size())
        return std::nullopt;
    return m_args.at(m_next++);
}

QString CliArguments::unknown() const
{
    return QStringLiteral("unknown option %1 (try 'parlanto-cli %2 --help')").arg(m_current, m_command);
}
