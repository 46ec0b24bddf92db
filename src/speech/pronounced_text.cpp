#include "speech/pronounced_text.h"

#include <algorithm>

namespace {

// Letters, digits and combining marks make words; anything else ends them.
bool isWordChar(QChar c)
{
    if (c.isLetterOrNumber())
        return true;
    const QChar::Category category = c.category();
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining;
}

// Case folding one UTF-16 unit at a time, so that folded text keeps every offset.
QString folded(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *data = out.data();
    for (qsizetype i = 0; i < text.size(); ++i)
        data[i] = text.at(i).toCaseFolded();
    return out;
}

// Backtracking a single match may do before it gives up: far more than any sensible pattern
// needs on a few thousand characters, far less than a catastrophic one would take.
const QString MatchLimit = QStringLiteral("(*LIMIT_MATCH=1000000)");

} // namespace

// ---- PronouncedText

PronouncedText::Span PronouncedText::originalSpan(int start, int length) const
{
    if (pieces.isEmpty())
        return {start, qMax(0, length)};
    const auto pieceAt = [this](int position) -> const Piece & {
        auto it = std::upper_bound(pieces.begin(), pieces.end(), position,
                                   [](int value, const Piece &p) { return value < p.spokenStart; });
        return it == pieces.begin() ? pieces.front() : *(it - 1);
    };
    const Piece &first = pieceAt(start);
    const int last = start + qMax(1, length) - 1;
    const Piece &final = pieceAt(last);
    int from = first.copied ? first.originalStart + (start - first.spokenStart) : first.originalStart;
    int to = final.copied ? final.originalStart + (last - final.spokenStart) + 1
                          : final.originalStart + final.originalLength;
    if (length <= 0)
        to = first.copied ? from : first.originalStart + first.originalLength;
    if (to < from) {
        // Captures repeated out of their order: the span takes in both ends.
        from = qMin(first.originalStart, final.originalStart);
        to = qMax(first.originalStart + first.originalLength, final.originalStart + final.originalLength);
    }
    return {from, to - from};
}

// ---- Patterns

namespace Pronunciation {

QRegularExpression compilePattern(const QString &pattern, bool matchCase)
{
    QRegularExpression::PatternOptions options =
        QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::MultilineOption;
    if (!matchCase)
        options |= QRegularExpression::CaseInsensitiveOption;
    return QRegularExpression(MatchLimit + pattern, options);
}

QString patternProblem(const QString &pattern, bool matchCase)
{
    const QRegularExpression expression = compilePattern(pattern, matchCase);
    if (expression.isValid())
        return {};
    const qsizetype offset = expression.patternErrorOffset() - MatchLimit.size();
    return QStringLiteral("%1 at character %2")
        .arg(expression.errorString())
        .arg(qMax<qsizetype>(0, offset) + 1);
}

} // namespace Pronunciation

// ---- PronunciationMatcher

PronunciationMatcher::PronunciationMatcher(const QList<PronunciationRule> &rules)
{
    for (int order = 0; order < rules.size(); ++order) {
        // The set checked each rule when it took it in; what cannot be used here is left out.
        const PronunciationRule &rule = rules.at(order);
        if (rule.kind == PronunciationRule::Kind::Pattern) {
            Pattern pattern;
            pattern.expression = Pronunciation::compilePattern(rule.match, rule.matchCase);
            if (!pattern.expression.isValid())
                continue;
            pattern.expression.optimize();
            pattern.order = order;
            const QString &text = rule.replacement;
            QString literal;
            for (int i = 0; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if (c == u'\\' && i + 1 < text.size()) {
                    const QChar next = text.at(i + 1);
                    if (next.isDigit() && next.unicode() < 0x80) {
                        if (!literal.isEmpty())
                            pattern.replacement.append({literal, -1});
                        literal.clear();
                        pattern.replacement.append({QString(), next.digitValue()});
                        ++i;
                        continue;
                    }
                    if (next == u'\\') {
                        literal += next;
                        ++i;
                        continue;
                    }
                }
                literal += c;
            }
            if (!literal.isEmpty())
                pattern.replacement.append({literal, -1});
            m_patterns.append(pattern);
            continue;
        }
        Words words;
        words.key = rule.match.simplified();
        if (words.key.isEmpty())
            continue;
        words.foldedKey = folded(words.key);
        words.replacement = rule.replacement;
        words.matchCase = rule.matchCase;
        words.startsWithWord = isWordChar(words.key.front());
        words.endsWithWord = isWordChar(words.key.back());
        words.order = order;
        const int index = int(m_words.size());
        m_words.append(words);
        int start = 0;
        while (start < words.key.size() && !isWordChar(words.key.at(start)))
            ++start;
        if (start == words.key.size()) {
            m_byFirstMark[words.foldedKey.front()].append(index);
            continue;
        }
        int end = start;
        while (end < words.key.size() && isWordChar(words.key.at(end)))
            ++end;
        m_words.last().lead = start;
        m_byFirstWord[words.foldedKey.mid(start, end - start)].append(index);
    }
}

int PronunciationMatcher::wordsEnd(const Words &words, QStringView text, QStringView foldedText,
                                   int start) const
{
    if (start < 0 || (words.startsWithWord && start > 0 && isWordChar(text.at(start - 1))))
        return -1;
    const QStringView source = words.matchCase ? text : foldedText;
    const QString &key = words.matchCase ? words.key : words.foldedKey;
    const int size = int(text.size());
    int i = start;
    for (const QChar k : key) {
        if (k == u' ') {
            if (i >= size || !text.at(i).isSpace())
                return -1;
            while (i < size && text.at(i).isSpace())
                ++i;
            continue;
        }
        if (i >= size || source.at(i) != k)
            return -1;
        ++i;
    }
    if (words.endsWithWord && i < size && isWordChar(text.at(i)))
        return -1;
    return i;
}

void PronunciationMatcher::findWords(QStringView text, QList<Match> &out) const
{
    if (m_words.isEmpty())
        return;
    const QString foldedText = folded(text);
    const int size = int(text.size());
    const auto best = [&](const QList<int> &candidates, int at) {
        Match found;
        for (int index : candidates) {
            const Words &words = m_words.at(index);
            const int start = at - words.lead;
            const int end = wordsEnd(words, text, foldedText, start);
            if (end < 0)
                continue;
            const bool longer = found.rule < 0 || end - start > found.end - found.start ||
                                (end - start == found.end - found.start && words.order > found.order);
            if (longer)
                found = Match{start, end, words.order, index, false, {}};
        }
        if (found.rule >= 0)
            out.append(found);
    };
    for (int i = 0; i < size;) {
        const QChar c = text.at(i);
        if (isWordChar(c)) {
            int end = i + 1;
            while (end < size && isWordChar(text.at(end)))
                ++end;
            if (!m_byFirstWord.isEmpty()) {
                auto found = m_byFirstWord.constFind(foldedText.mid(i, end - i));
                if (found != m_byFirstWord.constEnd())
                    best(*found, i);
            }
            i = end;
            continue;
        }
        if (!c.isSpace() && !m_byFirstMark.isEmpty()) {
            auto found = m_byFirstMark.constFind(foldedText.at(i));
            if (found != m_byFirstMark.constEnd())
                best(*found, i);
        }
        ++i;
    }
}

void PronunciationMatcher::findPatterns(const QString &text, QList<Match> &out) const
{
    for (int index = 0; index < m_patterns.size(); ++index) {
        const Pattern &pattern = m_patterns.at(index);
        int groups = 0;
        for (const Part &part : pattern.replacement)
            groups = qMax(groups, part.group);
        // A pattern that gives up (its backtracking cap) simply stops matching.
        for (auto it = pattern.expression.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength(0) <= 0)
                continue; // a match of nothing replaces nothing
            Match match{int(m.capturedStart(0)), int(m.capturedEnd(0)), pattern.order, index, true, {}};
            for (int g = 0; g <= groups; ++g)
                match.captures << int(m.capturedStart(g)) << int(m.capturedEnd(g));
            out.append(match);
        }
    }
}

int PronunciationMatcher::replacementLength(const Match &match) const
{
    if (!match.pattern)
        return int(m_words.at(match.rule).replacement.size());
    int length = 0;
    for (const Part &part : m_patterns.at(match.rule).replacement) {
        if (part.group < 0)
            length += int(part.text.size());
        else if (match.captures.at(2 * part.group) >= 0)
            length += match.captures.at(2 * part.group + 1) - match.captures.at(2 * part.group);
    }
    return length;
}

void PronunciationMatcher::replace(const Match &match, QStringView original, PronouncedText &out) const
{
    using Piece = PronouncedText::Piece;
    if (!match.pattern) {
        const QString &replacement = m_words.at(match.rule).replacement;
        if (!replacement.isEmpty())
            out.pieces.append(Piece{int(out.text.size()), int(replacement.size()), match.start,
                                    match.end - match.start, false});
        out.text += replacement;
        return;
    }
    // Captures map to themselves; the words in between stand for the original text between
    // the captures around them (" kilometres per hour" for the " km/h" after "120").
    const QList<Part> &parts = m_patterns.at(match.rule).replacement;
    QList<Piece> pieces;
    QList<int> literalPieces;
    for (const Part &part : parts) {
        const int spokenStart = int(out.text.size());
        if (part.group < 0) {
            out.text += part.text;
            literalPieces.append(int(pieces.size()));
            pieces.append(Piece{spokenStart, int(part.text.size()), -1, 0, false});
            continue;
        }
        const int from = match.captures.at(2 * part.group), to = match.captures.at(2 * part.group + 1);
        if (from < 0 || to <= from)
            continue;
        out.text += original.mid(from, to - from);
        pieces.append(Piece{spokenStart, to - from, from, to - from, true});
    }
    for (int index : std::as_const(literalPieces)) {
        int from = match.start, to = match.end;
        for (int i = index - 1; i >= 0; --i)
            if (pieces.at(i).copied) {
                from = pieces.at(i).originalStart + pieces.at(i).originalLength;
                break;
            }
        for (int i = index + 1; i < pieces.size(); ++i)
            if (pieces.at(i).copied) {
                to = pieces.at(i).originalStart;
                break;
            }
        while (from < to && original.at(from).isSpace())
            ++from;
        while (to > from && original.at(to - 1).isSpace())
            --to;
        if (to <= from) {
            from = match.start;
            to = match.end;
        }
        pieces[index].originalStart = from;
        pieces[index].originalLength = to - from;
    }
    for (const Piece &piece : std::as_const(pieces))
        if (piece.spokenLength > 0)
            out.pieces.append(piece);
}

// ---- pronounce

PronouncedText pronounce(const PronunciationMatcher *rules, QStringView original)
{
    PronouncedText out;
    const int size = int(original.size());
    int copiedUpTo = 0;
    const auto copyTo = [&](int end) {
        if (end <= copiedUpTo)
            return;
        out.pieces.append({int(out.text.size()), end - copiedUpTo, copiedUpTo, end - copiedUpTo, true});
        out.text += original.mid(copiedUpTo, end - copiedUpTo);
        copiedUpTo = end;
    };
    QList<PronunciationMatcher::Match> matches;
    if (rules && !rules->isEmpty() && size > 0) {
        rules->findWords(original, matches);
        rules->findPatterns(original.toString(), matches);
    }
    if (matches.isEmpty()) {
        out.text = original.toString();
        if (size > 0)
            out.pieces.append({0, size, 0, size, true});
        return out;
    }
    std::sort(matches.begin(), matches.end(), [](const auto &a, const auto &b) {
        if (a.start != b.start)
            return a.start < b.start;
        if (a.end != b.end)
            return a.end > b.end;
        return a.order > b.order;
    });
    out.text.reserve(size + size / 4);
    const qint64 limit = qint64(size) * Pronunciation::MaxGrowth + Pronunciation::ReplacementSlack;
    for (const auto &match : std::as_const(matches)) {
        if (match.start < copiedUpTo)
            continue; // inside a replacement already made
        const qint64 projected = out.text.size() + (match.start - copiedUpTo) +
                                 rules->replacementLength(match) + (size - match.end);
        if (projected > limit)
            continue;
        copyTo(match.start);
        rules->replace(match, original, out);
        copiedUpTo = match.end;
    }
    copyTo(size);
    return out;
}
