#pragma once

#include "speech/pronunciation_rules.h"

#include <QList>
#include <QString>
#include <QStringList>

// A rule file as its lines, for the window that edits it: rules are added, changed and removed
// where they stand, and comments, blank lines and sections stay as the user wrote them.
class PronunciationFile
{
public:
    static PronunciationFile fromText(const QString &text);
    QString text() const; // the lines, each ended by a line end

    // A rule line of the file, good or bad, with the languages of its section.
    struct Entry
    {
        int line = 0; // from 0
        QString text; // the line as written
        PronunciationRule rule;
        QString problem; // why the line is skipped; empty for a rule in use
    };
    QList<Entry> entries() const;

    // Each returns the line the rule now stands on. A rule goes at the end, under a section of
    // its languages (one is started when the last section is another); a changed rule keeps
    // its line unless its languages changed. Lines out of range change nothing (-1).
    int add(const PronunciationRule &rule);
    int replace(int line, const PronunciationRule &rule);
    void remove(int line);

private:
    QStringList languagesBefore(int line) const;
    QStringList m_lines;
};

namespace Pronunciation {

// The user's rule file in the program folder.
QString userFilePath();

// Reads a rule file (at most MaxFileBytes; a missing file reads as empty). False, with the
// reason naming the file, when it cannot be read.
bool readFile(const QString &path, QString &text, QString &error);
// Writes a rule file whole through a part file: the old file stays until the new one is
// complete. False, with the reason, when it cannot be written.
bool writeFile(const QString &path, const QString &text, QString &error);

// Reads the user's rule file and makes its rules the current ones; returns what was skipped.
QList<Problem> loadUserRules();

} // namespace Pronunciation
