#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Walks a command's arguments for its parse loop, with the conventions every parlanto-cli
// command shares: "--opt value" and "--opt=value" alike, "--" ends the options, "-" alone is
// an operand (standard input or output), and any other argument that starts with '-' is an
// option the loop must know, so that "-x" is an unknown option rather than a text.
class CliArguments
{
public:
    // `command` names the command in messages ("speak").
    CliArguments(const QString &command, const QStringList &args);

    // Moves to the next argument; false at the end, or when the option before was given a
    // value it does not take (then problem() says so).
    bool next();
    // The option's name ("--rate" of "--rate=60"), or the operand.
    const QString &current() const { return m_current; }
    // Not an option: after "--", "-" alone, or an argument that does not start with '-'.
    bool isOperand() const { return m_operand; }
    // The current option's value: what follows its '=', else the next argument (whatever it
    // starts with, so "--rate -5" is refused by the option's own check); nothing when missing.
    std::optional<QString> value();
    // Why next() stopped early; empty when it simply reached the end.
    const QString &problem() const { return m_problem; }
    // The usage message for the current argument as an unknown option.
    QString unknown() const;

private:
    QString m_command;
    QStringList m_args;
    int m_next = 0;
    QString m_current;
    std::optional<QString> m_attached; // the "=value" of the current option, until taken
    bool m_operand = false;
    bool m_onlyOperands = false;
    QString m_problem;
};
