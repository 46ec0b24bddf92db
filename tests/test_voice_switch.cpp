#include "app/settings_records.h"
#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "speech/directss.h"
#include "speech/rate_pitch.h"
#include "speech/spvoice.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

namespace {

// An engine reporting a speed range of zero width.
class ZeroSpeedRange : public DirectSS
{
public:
    int MinSpeed() const override { return 200; }
    int MaxSpeed() const override { return 200; }
};

// An engine whose third mode cannot be selected.
class BrokenThirdMode : public DirectSS
{
public:
    bool Select(int index) override { return index != 3 && DirectSS::Select(index); }
};

template <typename Engine> SpeechFactory withEngine()
{
    SpeechFactory factory = SpeechFactory::standard();
    factory.makeDirectSS = [] { return std::make_unique<Engine>(); };
    return factory;
}

QByteArray handOffBytes(const QString &listText, const QString &generation)
{
    QByteArray bytes;
    for (const QString &text : {listText, generation}) {
        const QByteArray encoded = text.toLocal8Bit();
        char length[2];
        qToLittleEndian<quint16>(quint16(encoded.size()), length);
        bytes.append(length, 2).append(encoded);
    }
    return bytes;
}

QByteArray readHandOff()
{
    QFile file(programFile(QStringLiteral("IEVoiceName.ini")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString PleaseAnswer =
    QStringLiteral("Please click No to continue or click Yes to end this appliaction");

} // namespace

class TestVoiceSwitch : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("voiceTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void init() { QFile::remove(programFile(QStringLiteral("IEVoiceName.ini"))); }

    void listHoldsBothGenerationsInOrder()
    {
        LoadedWindow w;
        DirectSS engine;
        const QList<SpObjectToken> tokens = SpVoice::GetVoices();
        QVERIFY(engine.CountEngines() > 0);
        QVERIFY(!tokens.isEmpty());
        QCOMPARE(w->SAPI4VoiceCount, engine.CountEngines());
        QCOMPARE(w->SAPI5VoiceCount, tokens.size());
        QCOMPARE(w->Combo1->count(), engine.CountEngines() + tokens.size());
        for (int mode = 1; mode <= engine.CountEngines(); ++mode) {
            QCOMPARE(w->Combo1->itemText(mode - 1), engine.ModeName(mode) + QStringLiteral(" (TTS4.0)"));
            QCOMPARE(w->Combo1->itemData(mode - 1).toInt(), 400000 + mode);
        }
        for (int token = 0; token < tokens.size(); ++token) {
            const int row = engine.CountEngines() + token;
            QCOMPARE(w->Combo1->itemText(row), tokens[token].GetDescription(0) + QStringLiteral(" (TTS5.0)"));
            QCOMPARE(w->Combo1->itemData(row).toInt(), 500000 + token);
        }
    }

    void voiceButtonOpensTheListOverItself()
    {
        LoadedWindow w;
        w->show();
        w->Combo1->clear();
        w->Combo1->addItem(QStringLiteral("Short (TTS4.0)"), 400001);
        w->Combo1->addItem(QString(35, u'x') + QStringLiteral(" (TTS4.0)"), 400002); // 44 characters
        w->Command7_Click();
        QVERIFY(w->Combo1->isVisible());
        QCOMPARE(w->Combo1->pos(), w->Command7->pos());
        QCOMPARE(w->Combo1->view()->minimumWidth(), 355);
        QVERIFY(w->Combo1->view()->isVisible()); // dropped open at once
        QVERIFY(!w->ListClosed);
        // It drops down below the box, not over it, and is announced by the box's name.
        QVERIFY(w->Combo1->view()->mapToGlobal(QPoint()).y() >=
                w->Combo1->mapToGlobal(QPoint(0, w->Combo1->height())).y());
        QCOMPARE(w->Combo1->view()->accessibleName(), w->Combo1->accessibleName());
        QVERIFY(!w->Combo1->accessibleName().isEmpty());
        w->Combo1->hidePopup();
    }

    void movingOverThePanelHidesTheList()
    {
        LoadedWindow w;
        w->resize(800, 560);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        // Moves through the window system, so that they reach the widget under the pointer.
        const auto moveOver = [&](QWidget *widget) {
            QTest::mouseMove(w->windowHandle(), widget->mapTo(w.window.get(), widget->rect().center()));
        };
        w->Command7_Click();
        w->Combo1->hidePopup();
        QVERIFY(w->Combo1->isVisible());
        // A label hides the list only while the flag is set.
        w->HideVoiceListPending = false;
        moveOver(w->Label2);
        QVERIFY(w->Combo1->isVisible());
        // A button always hides it and leaves the flag set.
        moveOver(w->Command9); // right of the opened list, which covers the next buttons
        QTRY_VERIFY(!w->Combo1->isVisible());
        QVERIFY(w->HideVoiceListPending);
        w->Combo1->show();
        moveOver(w->Label6);
        QTRY_VERIFY(!w->Combo1->isVisible());
        QVERIFY(!w->HideVoiceListPending);
    }

    void pickingAGeneration4Voice()
    {
        LoadedWindow w;
        const int row = listPosition(*w, 4, QStringLiteral("English"));
        QVERIFY(row >= 0);
        const QString text = w->Combo1->itemText(row);
        const int mode = row + 1;
        w->DirectSS1->setSpeed(265); // 265 of 80..450: bar 50
        w->DirectSS1->setPitch(30);
        pickVoice(*w, row);

        QVERIFY(!w->Combo1->isVisible());
        QCOMPARE(w->DirectSS1->CurrentMode(), mode);
        QCOMPARE(w->TextToSpeech1->CurrentMode(), mode);
        QCOMPARE(w.app.speech.SapiVersion, 4);
        QCOMPARE(w.app.speech.CurrentEngineIndex, mode);
        QCOMPARE(w.app.speech.CurrentVoiceName, text.left(text.size() - 9));
        QCOMPARE(w->windowTitle(), text);
        QCOMPARE(w->Combo1->toolTip(), text);
        QCOMPARE(w->TTS4MinSpeed, w->DirectSS1->MinSpeed());
        QCOMPARE(w->TTS4MaxSpeed, w->DirectSS1->MaxSpeed());
        const int expectedRate =
            *RatePitch::engineToPosition(265, w->DirectSS1->MinSpeed(), w->DirectSS1->MaxSpeed());
        const int expectedPitch =
            *RatePitch::engineToPosition(30, w->DirectSS1->MinPitch(), w->DirectSS1->MaxPitch());
        QCOMPARE(w->VScroll2->value(), expectedRate);
        QCOMPARE(w->VScroll3->value(), expectedPitch);
        QCOMPARE(w.app.speech.RatePosition, expectedRate);
        QCOMPARE(w.app.speech.PitchPosition, expectedPitch);
        QCOMPARE(readHandOff(), handOffBytes(text, QStringLiteral("4")));

        // Picking the current voice again runs the whole switch again.
        w->DirectSS1->setSpeed(w->DirectSS1->MinSpeed());
        pickVoice(*w, row);
        QCOMPARE(w->VScroll2->value(), 0);
    }

    void pickingAGeneration5Voice()
    {
        LoadedWindow w;
        const QList<SpObjectToken> tokens = SpVoice::GetVoices();
        QVERIFY(tokens.size() >= 2);
        const int row = w->SAPI4VoiceCount + 1;
        const QString text = w->Combo1->itemText(row);
        const SpObjectToken writerVoice = w->WaveVoice1->Voice();
        w->NewsVoice1->setRate(4);
        pickVoice(*w, row);

        QCOMPARE(w->NewsVoice1->Voice(), tokens[1]);
        QCOMPARE(w->VoiceSayTime->Voice(), tokens[1]);
        QCOMPARE(w->WaveVoice1->Voice(), writerVoice); // the audio-file writer keeps its own
        QCOMPARE(w.app.speech.SapiVersion, 5);
        QCOMPARE(w.app.speech.CurrentEngineIndex, 1);
        QCOMPARE(w.app.speech.CurrentVoiceName, tokens[1].GetDescription(0));
        QCOMPARE(w->windowTitle(), text);
        QCOMPARE(w->VScroll2->value(), 70);
        QCOMPARE(w.app.speech.RatePosition, 70);
        QCOMPARE(w.app.speech.PitchPosition, w->VScroll3->value());
        QCOMPARE(readHandOff(), handOffBytes(text, QStringLiteral("5")));
        // The single blank spoken to wake the voice ends, leaving the window idle.
        QTRY_VERIFY(!w->NewsVoice1->isSpeaking());
        QCOMPARE(w->PlayStatus, 3);
    }

    // The user's way: the Voice button, then a click on an entry of the opened list. The new
    // voice speaks at the volume the bar shows, whichever generation it is.
    void theUserPicksAVoiceFromTheOpenedList()
    {
        LoadedWindow w;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w->VScroll1->setValue(19);
        for (const int generation : {5, 4}) {
            const int row = listPosition(*w, generation);
            QTest::mouseClick(w->Command7, Qt::LeftButton);
            QAbstractItemView *view = w->Combo1->view();
            QTRY_VERIFY(view->isVisible());
            const QModelIndex entry = view->model()->index(row, 0);
            view->scrollTo(entry);
            const QPoint centre = view->visualRect(entry).center();
            QTest::mouseMove(view->viewport(), centre);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
            QTRY_COMPARE(w.app.speech.SapiVersion, generation);
            QCOMPARE(w->Combo1->currentIndex(), row);
            QCOMPARE(w->windowTitle(), w->Combo1->itemText(row));
            QVERIFY(!w->Combo1->isVisible());
            QCOMPARE(w->VScroll1->value(), 19);
            if (generation == 5)
                QCOMPARE(w->NewsVoice1->Volume(), 19);
            else
                QCOMPARE(w->DirectSS1->LeftChannelVolume(), RatePitch::positionToChannelVolume(19));
            QTRY_VERIFY(!w->NewsVoice1->isSpeaking());
        }
    }

    void aSecondClickIsIgnoredUntilTheListOpensAgain()
    {
        LoadedWindow w;
        const int first = listPosition(*w, 4);
        const int second = listPosition(*w, 5);
        pickVoice(*w, first);
        const QString title = w->windowTitle();
        QFile::remove(programFile(QStringLiteral("IEVoiceName.ini")));

        w->Combo1->setCurrentIndex(second);
        w->Combo1_Click();
        QCOMPARE(w->windowTitle(), title);
        QCOMPARE(w.app.speech.SapiVersion, 4);
        QVERIFY(readHandOff().isEmpty());

        pickVoice(*w, second);
        QCOMPARE(w.app.speech.SapiVersion, 5);
        QCOMPARE(w->windowTitle(), w->Combo1->itemText(second));
    }

    void picksDuringStartUpAreIgnored()
    {
        LoadedWindow w;
        const int generation = w.app.speech.SapiVersion;
        const QString caption = w->windowTitle();
        w->StartTTS4Engine = -1;
        pickVoice(*w, listPosition(*w, 5));
        QCOMPARE(generation, 4); // the first list entry, made current at the first start
        QCOMPARE(w.app.speech.SapiVersion, generation);
        QCOMPARE(w->windowTitle(), caption);
        QVERIFY(readHandOff().isEmpty());
    }

    void aPickStopsTheReading()
    {
        LoadedWindow w;
        pickVoice(*w, listPosition(*w, 4, QStringLiteral("English")));
        w->RichTextBox1->setPlainText(
            QStringLiteral("A long enough sentence to still be read when the voice changes."));
        w->Command5_Click();
        QCOMPARE(w->PlayStatus, 1);
        pickVoice(*w, listPosition(*w, 5));
        QCOMPARE(w->PlayStatus, 3);
        QVERIFY(!w->DirectSS1->isSpeaking());
        QCOMPARE(w->Command5->text(), QStringLiteral("S&peak"));
    }

    void zeroSpeedRangeAsksWhetherToEnd()
    {
        for (const auto answer : {Dialogs::Answer::No, Dialogs::Answer::Yes}) {
            FakeDialogs dialogs;
            LoadedWindow w(withEngine<ZeroSpeedRange>());
            const int row = listPosition(*w, 4);
            const QString text = w->Combo1->itemText(row);
            const QString caption = w->windowTitle();
            dialogs.queueAnswer(answer);
            pickVoice(*w, row);

            QCOMPARE(dialogs.messages().size(), 1);
            const Dialogs::Message &message = dialogs.messages().first();
            QCOMPARE(message.title,
                     QStringLiteral("SAPI Version 4. Please send the following error message to") +
                         vendorSupport());
            QCOMPARE(message.text,
                     text + QStringLiteral(" Error number:11 Error description:Division by zero  .") +
                         PleaseAnswer);
            QCOMPARE(message.buttons, Dialogs::Buttons::YesNo);
            QCOMPARE(message.icon, Dialogs::Icon::Question);
            QCOMPARE(message.defaultButton, 1);
            QVERIFY(w->ListClosed);
            if (answer == Dialogs::Answer::No) {
                // Nothing more happens: no caption, no hand-off file, the program goes on.
                QCOMPARE(w->windowTitle(), caption);
                QVERIFY(readHandOff().isEmpty());
                QCOMPARE(w.endCalls, 0);
                QVERIFY(!w.app.ExitRequested);
            } else {
                QCOMPARE(w.endCalls, 1);
                QVERIFY(w.app.ExitRequested);
            }
        }
    }

    void anUnusableEngineGivesThePreviousVoiceBack()
    {
        FakeDialogs dialogs;
        LoadedWindow w(withEngine<BrokenThirdMode>());
        QVERIFY(w->SAPI4VoiceCount >= 3);
        pickVoice(*w, 0);
        const QString previous = w->Combo1->itemText(0);
        const QString broken = w->Combo1->itemText(2);
        w->DirectSS1->setInitialized(0);

        dialogs.queueAnswer(Dialogs::Answer::No);
        pickVoice(*w, 2);
        QCOMPARE(dialogs.messages().size(), 1);
        const Dialogs::Message &message = dialogs.messages().first();
        QCOMPARE(message.title, QStringLiteral("Parlanto--SAPI Version 4"));
        QCOMPARE(message.text,
                 broken +
                     QStringLiteral(" is not reliable, so it can not be used. Error number:429 Error "
                                    "description:engine unusable  .") +
                     PleaseAnswer);
        QCOMPARE(message.defaultButton, 1);
        // The previous voice is back everywhere.
        QCOMPARE(w->DirectSS1->initialized(), 1);
        QCOMPARE(w->Combo1->currentIndex(), 0);
        QCOMPARE(w->DirectSS1->CurrentMode(), 1);
        QCOMPARE(w->windowTitle(), previous);
        QCOMPARE(w.app.speech.CurrentEngineIndex, 1);
        QCOMPARE(readHandOff(), handOffBytes(previous, QStringLiteral("4")));
        QCOMPARE(w.endCalls, 0);

        // Yes ends the program.
        dialogs.queueAnswer(Dialogs::Answer::Yes);
        pickVoice(*w, 2);
        QCOMPARE(dialogs.messages().size(), 2);
        QCOMPARE(w.endCalls, 1);
    }

    void anyOtherErrorAlsoRestoresThePreviousVoice()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        const int good = listPosition(*w, 5);
        pickVoice(*w, good);
        // A generation-5 entry whose token does not exist.
        w->Combo1->addItem(QStringLiteral("Ghost (TTS5.0)"), 500099);
        dialogs.queueAnswer(Dialogs::Answer::No);
        pickVoice(*w, w->Combo1->count() - 1);
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().first().title,
                 QStringLiteral("SAPI Version 5. Please send the following error message to") +
                     vendorSupport());
        QVERIFY(dialogs.messages().first().text.startsWith(QStringLiteral("Ghost (TTS5.0) Error number:9 ")));
        QCOMPARE(w->Combo1->currentIndex(), good);
        QCOMPARE(w->windowTitle(), w->Combo1->itemText(good));
        QCOMPARE(readHandOff(), handOffBytes(w->Combo1->itemText(good), QStringLiteral("5")));
    }

    void restoringAVoiceThatFailsTooStops()
    {
        FakeDialogs dialogs;
        LoadedWindow w(withEngine<BrokenThirdMode>());
        w->Combo1->setCurrentIndex(2); // the list shows the broken mode before any pick
        dialogs.queueAnswer(Dialogs::Answer::No);
        dialogs.queueAnswer(Dialogs::Answer::No);
        pickVoice(*w, 2);
        QCOMPARE(dialogs.messages().size(), 2);
        QCOMPARE(dialogs.unusedAnswers(), 0);
        QCOMPARE(w.endCalls, 0);
    }

    void downloadPageFromTheProductLabels()
    {
        FakeShell shell;
        LoadedWindow w;
        w->resize(800, 560);
        w->show();
        QTest::mouseDClick(w->Label8, Qt::LeftButton);
        QTest::mouseDClick(w->Label10, Qt::LeftButton);
        const QString page = vendorSite() + QStringLiteral("/download.htm");
        QCOMPARE(shell.opened(), (QStringList{page, page}));
    }
};

QTEST_MAIN(TestVoiceSwitch)
#include "test_voice_switch.moc"
