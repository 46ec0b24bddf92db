#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Runs one parlanto-cli command (arguments without the program name) and returns the exit
// code: 0 success, 1 failure, 2 usage error.
int runCli(const QStringList &arguments);

// A voice named as a line of 'parlanto-cli voices' (empty: the locale's), as the speak
// command picks it; nothing when no such voice is installed.
struct CliVoice
{
    QString text;
    int generation = 0;
    int index = 0;
};
std::optional<CliVoice> findCliVoice(const QString &wanted);
