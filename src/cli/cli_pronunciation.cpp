#include "cli/cli_pronunciation.h"

#include "speech/pronunciation_file.h"
#include "speech/pronunciation_rules.h"

#include <QFileInfo>
#include <QTextStream>

#include <memory>

bool useCliPronunciation(const QStringList &dictFiles, bool quiet)
{
    QTextStream err(stderr);
    auto rules = std::make_shared<PronunciationRules>();
    QList<Pronunciation::Problem> problems;
    QString text, error;
    const QString userFile = Pronunciation::userFilePath();
    if (Pronunciation::readFile(userFile, text, error))
        rules->addText(text, userFile, &problems);
    else
        problems.append({userFile, 0, error});
    for (const QString &file : dictFiles) {
        if (!Pronunciation::readFile(file, text, error)) {
            err << "parlanto-cli: " << error << "\n";
            return false;
        }
        if (text.isEmpty() && !QFileInfo::exists(file)) {
            err << "parlanto-cli: no such rule file: " << file << "\n";
            return false;
        }
        rules->addText(text, file, &problems);
    }
    if (!quiet)
        for (const Pronunciation::Problem &problem : std::as_const(problems))
            err << "parlanto-cli: " << problem.text() << " (skipped)\n";
    PronunciationRules::setCurrent(std::move(rules));
    return true;
}
