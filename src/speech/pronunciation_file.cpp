#include "speech/pronunciation_file.h"

#include "platform/bounded_file.h"
#include "platform/part_file.h"
#include "platform/program_folder.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QStringList sorted(QStringList languages)
{
    std::sort(languages.begin(), languages.end());
    return languages;
}

} // namespace

PronunciationFile PronunciationFile::fromText(const QString &text)
{
    PronunciationFile file;
    QString all = text;
    if (all.startsWith(QChar(0xFEFF)))
        all.remove(0, 1);
    all.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    all.replace(u'\r', u'\n');
    file.m_lines = all.split(u'\n');
    if (!file.m_lines.isEmpty() && file.m_lines.last().isEmpty())
        file.m_lines.removeLast(); // the end of the last line, not a line of its own
    return file;
}

QString PronunciationFile::text() const
{
    QString out;
    for (const QString &line : m_lines)
        out += line + QLatin1Char('\n');
    return out;
}

QList<PronunciationFile::Entry> PronunciationFile::entries() const
{
    using Pronunciation::Line;
    QList<Entry> out;
    QStringList languages;
    for (int i = 0; i < m_lines.size(); ++i) {
        const Line line = Pronunciation::parseLine(m_lines.at(i));
        if (line.kind == Line::Kind::Section) {
            languages = line.languages;
            continue;
        }
        const bool sectionLine =
            m_lines.at(i).trimmed().startsWith(u'[') && m_lines.at(i).trimmed().endsWith(u']');
        if (line.kind == Line::Kind::Rule || (line.kind == Line::Kind::Bad && !sectionLine)) {
            Entry entry{i, m_lines.at(i), line.rule, line.problem};
            entry.rule.languages = languages;
            out.append(entry);
        }
    }
    return out;
}

QStringList PronunciationFile::languagesBefore(int line) const
{
    for (int i = qMin(line, int(m_lines.size())) - 1; i >= 0; --i) {
        const auto parsed = Pronunciation::parseLine(m_lines.at(i));
        if (parsed.kind == Pronunciation::Line::Kind::Section)
            return parsed.languages;
    }
    return {};
}

int PronunciationFile::add(const PronunciationRule &rule)
{
    if (sorted(languagesBefore(int(m_lines.size()))) != sorted(rule.languages))
        m_lines.append(Pronunciation::formatSection(rule.languages));
    m_lines.append(Pronunciation::formatRule(rule));
    return int(m_lines.size()) - 1;
}

int PronunciationFile::replace(int line, const PronunciationRule &rule)
{
    if (line < 0 || line >= m_lines.size())
        return -1;
    if (sorted(languagesBefore(line)) == sorted(rule.languages)) {
        m_lines[line] = Pronunciation::formatRule(rule);
        return line;
    }
    remove(line);
    return add(rule);
}

void PronunciationFile::remove(int line)
{
    if (line >= 0 && line < m_lines.size())
        m_lines.removeAt(line);
}

namespace Pronunciation {

QString userFilePath()
{
    return programFile(UserFileName);
}

bool readFile(const QString &path, QString &text, QString &error)
{
    text.clear();
    const BoundedFile::Result read = BoundedFile::read(path, MaxFileBytes);
    if (read.outcome == BoundedFile::Outcome::Missing)
        return true;
    if (!read.ok()) {
        error = read.error;
        return false;
    }
    text = QString::fromUtf8(read.bytes);
    return true;
}

bool writeFile(const QString &path, const QString &text, QString &error)
{
    const QString part = PartFile::pathFor(path);
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    const QString why = file.errorString();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        QFile::remove(part);
        error = QStringLiteral("cannot write \"%1\": %2").arg(path, why);
        return false;
    }
    return PartFile::commit(part, path, &error);
}

QList<Problem> loadUserRules()
{
    QList<Problem> problems;
    const QString path = userFilePath();
    QString text, error;
    auto rules = std::make_shared<PronunciationRules>();
    if (readFile(path, text, error))
        rules->addText(text, QFileInfo(path).fileName(), &problems);
    else
        problems.append({QFileInfo(path).fileName(), 0, error});
    PronunciationRules::setCurrent(std::move(rules));
    return problems;
}

} // namespace Pronunciation
