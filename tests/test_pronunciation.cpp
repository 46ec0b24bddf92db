// test-links: parlanto_speech
#include "speech/pronounced_text.h"
#include "speech/pronunciation_rules.h"

#include <QtTest>

namespace {

// Each word of the engine text with the original characters it stands for and where they
// start: "kilometres>km/h@10".
QString wordMap(const PronouncedText &spoken, const QString &original)
{
    QStringList words;
    static const QRegularExpression word(QStringLiteral("\\S+"));
    for (auto it = word.globalMatch(spoken.text); it.hasNext();) {
        const auto m = it.next();
        const auto span = spoken.originalSpan(int(m.capturedStart()), int(m.capturedLength()));
        const QString source = original.mid(span.start, span.length);
        words << (source == m.captured()
                      ? QStringLiteral("%1@%2").arg(source).arg(span.start)
                      : QStringLiteral("%1>%2@%3").arg(m.captured(), source).arg(span.start));
    }
    return words.join(u' ');
}

} // namespace

class TestPronunciation : public QObject
{
    Q_OBJECT

private slots:
    // Rules against texts: the engine text, where each of its words points in the original,
    // and the lines reported as bad.
    void rulesRewriteTextsAndKeepOffsets_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("engineText");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QStringList>("problems");

        QTest::newRow("whole words, any case")
            << "# comment\n\nSQL = sequel"
            << "en-us"
            << "sql, MySQL and SQL."
            << "sequel, MySQL and sequel."
            << "sequel,>sql,@0 MySQL@5 and@11 sequel.>SQL.@15" << QStringList();
        QTest::newRow("! means the case must match")
            << "!Dr. = Doctor"
            << "en-us"
            << "Dr. Who met dr. No"
            << "Doctor Who met dr. No"
            << "Doctor>Dr.@0 Who@4 met@8 dr.@12 No@16" << QStringList();
        QTest::newRow("captures map to themselves")
            << "/(\\d+) ?km\\/h/ = \\1 kilometres per hour"
            << "en-us"
            << "At 120km/h or 80 KM/H."
            << "At 120 kilometres per hour or 80 kilometres per hour."
            << "At@0 120@3 kilometres>km/h@6 per>km/h@6 hour>km/h@6 or@11 80@14 kilometres>KM/H@17 "
               "per>KM/H@17 hour.>KM/H.@17"
            << QStringList();
        QTest::newRow("longest match wins, then the later rule")
            << "/Y\\w+/ = Y\nNew York = Big Apple\nYork = Yorkshire\nnew = old\nNEW = fresh"
            << "en"
            << "New\nYork, York and new"
            << "Big Apple, Yorkshire and fresh"
            << "Big>New\nYork@0 Apple,>New\nYork,@0 Yorkshire>York@10 and@15 fresh>new@19" << QStringList();
        QTest::newRow("punctuation in words, and words of marks only")
            << "km/h = kilometres per hour\n& = and\nC++ = C plus plus"
            << "en"
            << "5 km/h & 5km/h in C++."
            << "5 kilometres per hour and 5km/h in C plus plus."
            << "5@0 kilometres>km/h@2 per>km/h@2 hour>km/h@2 and>&@7 5km/h@9 in@15 C>C++@18 plus>C++@18 "
               "plus.>C++.@18"
            << QStringList();
        QTest::newRow("bad lines are named and skipped")
            << "/(abc/ = x\nno equals sign\n[not a language!]\n/a/ = \\2\nabc = d"
            << "en"
            << "abc"
            << "d"
            << "d>abc@0"
            << QStringList{"rules.txt, line 1: the regular expression does not compile: missing closing "
                           "parenthesis at character 5",
                           "rules.txt, line 2: there is no \"=\" between the words and what to say",
                           "rules.txt, line 3: \"[not a language!]\" names no language: write a code such as "
                           "[de] or [en-us], or [*] for every voice",
                           "rules.txt, line 4: \\2 names a capture the pattern does not have"};
        QTest::newRow("a pattern that matches nothing replaces nothing")
            << "/x*/ = y"
            << "en"
            << "axxb xx"
            << "ayb y"
            << "ayb>axxb@0 y>xx@5" << QStringList();
        QTest::newRow("sections by language")
            << "Haus = house\n[de, fr]\nSQL = ess ku ell\n[en-gb]\nSQL = sequel\n[*]\nGNOME = guh nome"
            << "de-at"
            << "SQL GNOME Haus"
            << "ess ku ell guh nome house"
            << "ess>SQL@0 ku>SQL@0 ell>SQL@0 guh>GNOME@4 nome>GNOME@4 house>Haus@10" << QStringList();
        QTest::newRow("a section for another language") << "[de]\nSQL = ess ku ell\n[en-gb]\nSQL = sequel"
                                                        << "en-us"
                                                        << "SQL"
                                                        << "SQL"
                                                        << "SQL@0" << QStringList();
        QTest::newRow("a replacement is not matched again")
            << "SQL = SQL server\n/e/ = ee"
            << "en"
            << "SQL see"
            << "SQL server seeee"
            << "SQL@0 server>SQL@0 seeee>see@4" << QStringList();
        QTest::newRow("captures out of order") << "/(\\w+), (\\w+)/ = \\2 \\1"
                                               << "en"
                                               << "Doe, Jane"
                                               << "Jane Doe"
                                               << "Jane@5 Doe@0" << QStringList();
        QTest::newRow("a deleted word")
            << "[citation needed] =\n/\\[\\d+\\]/ ="
            << "en"
            << "True[1] fact."
            << "True fact."
            << "True@0 fact.@8"
            << QStringList{"rules.txt, line 1: words that begin with [ need a regular "
                           "expression"};
    }
    void rulesRewriteTextsAndKeepOffsets()
    {
        QFETCH(QString, rules);
        QFETCH(QString, language);
        QFETCH(QString, text);
        QFETCH(QString, engineText);
        QFETCH(QString, words);
        QFETCH(QStringList, problems);

        PronunciationRules set;
        QList<Pronunciation::Problem> found;
        set.addText(rules, QStringLiteral("rules.txt"), &found);
        QStringList reported;
        for (const auto &problem : std::as_const(found))
            reported << problem.text();
        QCOMPARE(reported, problems);

        const PronouncedText spoken = pronounce(set.forLanguage(language).get(), text);
        QCOMPARE(spoken.text, engineText);
        QCOMPARE(wordMap(spoken, text), words);
        // The pieces cover the engine text without gaps, in order.
        int covered = 0;
        for (const auto &piece : spoken.pieces) {
            QCOMPARE(piece.spokenStart, covered);
            QVERIFY(piece.spokenLength > 0);
            if (piece.copied)
                QCOMPARE(spoken.text.mid(piece.spokenStart, piece.spokenLength),
                         text.mid(piece.originalStart, piece.originalLength));
            covered += piece.spokenLength;
        }
        QCOMPARE(covered, spoken.text.size());
    }

    // A rule that would blow the text up and a pattern that would backtrack for ever are both
    // bounded; a thousand word rules make one lookup per word, not a thousand passes.
    void runawayRulesAreBounded()
    {
        PronunciationRules set;
        set.addText(QStringLiteral("a = %1\n/(\\w+\\s?)+$/ = z\n").arg(QString(200, u'b')),
                    QStringLiteral("r"));
        for (int i = 0; i < 1000; ++i)
            set.add({PronunciationRule::Kind::Words,
                     QStringLiteral("word%1").arg(i),
                     QStringLiteral("w"),
                     false,
                     {}});
        QString text;
        for (int i = 0; i < 500; ++i)
            text += QStringLiteral("a ");
        text += QString(30000, u'x') + QStringLiteral("! word999");
        const PronouncedText spoken = pronounce(set.forLanguage(QStringLiteral("en")).get(), text);
        QVERIFY(spoken.text.size() <=
                Pronunciation::MaxGrowth * text.size() + Pronunciation::ReplacementSlack);
        QVERIFY(spoken.text.startsWith(QString(200, u'b') + u' '));
        QVERIFY(spoken.text.contains(QString(30000, u'x')));
        QVERIFY(spoken.text.endsWith(QStringLiteral(" w")));
        QVERIFY(spoken.text.contains(QStringLiteral(" a a ")));
    }

    // A rule as the window writes it reads back the same.
    void rulesWrittenAsLinesReadBack()
    {
        const QList<PronunciationRule> rules = {
            {PronunciationRule::Kind::Words, QStringLiteral("Dr."), QStringLiteral("Doctor"), true, {}},
            {PronunciationRule::Kind::Pattern,
             QStringLiteral("(\\d+) km/h"),
             QStringLiteral("\\1 kilometres"),
             false,
             {}},
            {PronunciationRule::Kind::Words, QStringLiteral("NASA"), QString(), false, {}},
        };
        for (const PronunciationRule &rule : rules) {
            const auto line = Pronunciation::parseLine(Pronunciation::formatRule(rule));
            QCOMPARE(line.kind, Pronunciation::Line::Kind::Rule);
            QCOMPARE(Pronunciation::formatRule(line.rule), Pronunciation::formatRule(rule));
            QCOMPARE(line.rule.kind, rule.kind);
            QCOMPARE(line.rule.matchCase, rule.matchCase);
            QCOMPARE(line.rule.replacement, rule.replacement);
        }
    }
};

QTEST_GUILESS_MAIN(TestPronunciation)
#include "test_pronunciation.moc"
