#include "tools/PronunciationWindow.h"

#include "platform/accessibility.h"
#include "platform/dialogs.h"
#include "speech/pronounced_text.h"
#include "speech/synth_engine.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// The columns of the rule list.
enum Column
{
    MatchColumn,
    SayColumn,
    LanguageColumn,
    NoteColumn,
};

// Lines of a load message: more would not fit a message box.
constexpr int ShownProblems = 10;

QString matchShown(const PronunciationRule &rule)
{
    const QString match = rule.kind == PronunciationRule::Kind::Pattern
                              ? QLatin1Char('/') + rule.match + QLatin1Char('/')
                              : rule.match;
    return rule.matchCase ? QLatin1Char('!') + match : match;
}

QString languagesShown(const QStringList &languages)
{
    return languages.isEmpty() ? QStringLiteral("every voice") : languages.join(QStringLiteral(", "));
}

} // namespace

PronunciationWindow::PronunciationWindow(std::function<PronunciationVoice()> voice, QWidget *parent)
    : QWidget(parent, Qt::Window), m_voice(std::move(voice))
{
    setObjectName(QStringLiteral("PronunciationWindow"));
    setWindowTitle(QStringLiteral("Pronunciation - Parlanto"));
    buildControls();
    connectControls();
    checkFields();
}

PronunciationWindow::~PronunciationWindow() = default;

void PronunciationWindow::buildControls()
{
    auto *layout = new QGridLayout(this);
    const auto label = [this](const QString &caption, QWidget *buddy) {
        auto *l = new QLabel(caption, this);
        l->setBuddy(buddy);
        return l;
    };

    RuleList = new QTreeWidget(this);
    RuleList->setObjectName(QStringLiteral("RuleList"));
    RuleList->setRootIsDecorated(false);
    RuleList->setUniformRowHeights(true);
    RuleList->setHeaderLabels({QStringLiteral("Words or pattern"), QStringLiteral("Say as"),
                               QStringLiteral("Language"), QStringLiteral("Note")});
    RuleList->header()->setStretchLastSection(true);
    RuleList->setMinimumSize(520, 180);
    Accessibility::name(RuleList, QStringLiteral("Rules"),
                        QStringLiteral("The rules of the pronunciation file, in the order they are read"));
    layout->addWidget(label(QStringLiteral("R&ules:"), RuleList), 0, 0, 1, 4);
    layout->addWidget(RuleList, 1, 0, 1, 4);

    MatchText = new QLineEdit(this);
    MatchText->setObjectName(QStringLiteral("MatchText"));
    Accessibility::name(MatchText, QStringLiteral("Words or pattern"),
                        QStringLiteral("The words to say differently, or a regular expression"));
    layout->addWidget(label(QStringLiteral("&Words or pattern:"), MatchText), 2, 0);
    layout->addWidget(MatchText, 2, 1, 1, 3);

    PatternCheck = new QCheckBox(QStringLiteral("Regular e&xpression"), this);
    PatternCheck->setObjectName(QStringLiteral("PatternCheck"));
    CaseCheck = new QCheckBox(QStringLiteral("&Match case"), this);
    CaseCheck->setObjectName(QStringLiteral("CaseCheck"));
    layout->addWidget(PatternCheck, 3, 1);
    layout->addWidget(CaseCheck, 3, 2);

    SayText = new QLineEdit(this);
    SayText->setObjectName(QStringLiteral("SayText"));
    Accessibility::name(
        SayText, QStringLiteral("Say as"),
        QStringLiteral("What the voice says instead; \\1 to \\9 repeat a pattern's captures"));
    layout->addWidget(label(QStringLiteral("&Say as:"), SayText), 4, 0);
    layout->addWidget(SayText, 4, 1, 1, 3);

    LanguageText = new QLineEdit(this);
    LanguageText->setObjectName(QStringLiteral("LanguageText"));
    LanguageText->setPlaceholderText(QStringLiteral("every voice"));
    Accessibility::name(LanguageText, QStringLiteral("Language"),
                        QStringLiteral("The languages of the voices the rule is for, such as de or en-us; "
                                       "empty for every voice"));
    layout->addWidget(label(QStringLiteral("&Language:"), LanguageText), 5, 0);
    layout->addWidget(LanguageText, 5, 1, 1, 3);

    CheckLabel = new QLabel(this);
    CheckLabel->setObjectName(QStringLiteral("CheckLabel"));
    CheckLabel->setWordWrap(true);
    Accessibility::valueLabel(CheckLabel, QStringLiteral("Rule check"), MatchText);
    layout->addWidget(CheckLabel, 6, 0, 1, 4);

    TestText = new QLineEdit(this);
    TestText->setObjectName(QStringLiteral("TestText"));
    TestText->setPlaceholderText(QStringLiteral("the words above"));
    Accessibility::name(TestText, QStringLiteral("Test phrase"),
                        QStringLiteral("What Listen speaks, once without the rule and once with it"));
    ListenButton = new QPushButton(QStringLiteral("L&isten"), this);
    ListenButton->setObjectName(QStringLiteral("ListenButton"));
    ListenButton->setToolTip(QStringLiteral("Speak the test phrase without the rule, then with it"));
    layout->addWidget(label(QStringLiteral("Test &phrase:"), TestText), 7, 0);
    layout->addWidget(TestText, 7, 1, 1, 2);
    layout->addWidget(ListenButton, 7, 3);

    HeardLabel = new QLabel(this);
    HeardLabel->setObjectName(QStringLiteral("HeardLabel"));
    HeardLabel->setWordWrap(true);
    HeardLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Accessibility::valueLabel(HeardLabel, QStringLiteral("Spoken"), TestText);
    layout->addWidget(HeardLabel, 8, 0, 1, 4);

    auto *buttons = new QHBoxLayout;
    const auto button = [this, buttons](QPushButton *&b, const char *name, const QString &caption,
                                        const QString &tip) {
        b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        buttons->addWidget(b);
    };
    button(AddButton, "AddButton", QStringLiteral("&Add"),
           QStringLiteral("Add the rule at the end of the list"));
    button(ChangeButton, "ChangeButton", QStringLiteral("C&hange"),
           QStringLiteral("Put the rule in place of the one chosen in the list"));
    button(RemoveButton, "RemoveButton", QStringLiteral("&Remove"),
           QStringLiteral("Remove the rule chosen in the list"));
    buttons->addStretch(1);
    button(CloseButton, "CloseButton", QStringLiteral("&Close"), QStringLiteral("Close this window"));
    layout->addLayout(buttons, 9, 0, 1, 4);

    Accessibility::tabOrder({RuleList, MatchText, PatternCheck, CaseCheck, SayText, LanguageText, TestText,
                             ListenButton, AddButton, ChangeButton, RemoveButton, CloseButton});
    Accessibility::closeOnEscape(this, CloseButton);
}

void PronunciationWindow::connectControls()
{
    connect(RuleList, &QTreeWidget::itemSelectionChanged, this, &PronunciationWindow::RuleList_Click);
    connect(AddButton, &QPushButton::clicked, this, &PronunciationWindow::AddButton_Click);
    connect(ChangeButton, &QPushButton::clicked, this, &PronunciationWindow::ChangeButton_Click);
    connect(RemoveButton, &QPushButton::clicked, this, &PronunciationWindow::RemoveButton_Click);
    connect(ListenButton, &QPushButton::clicked, this, &PronunciationWindow::ListenButton_Click);
    connect(CloseButton, &QPushButton::clicked, this, &PronunciationWindow::CloseButton_Click);
    for (QLineEdit *edit : {MatchText, SayText, LanguageText, TestText})
        connect(edit, &QLineEdit::textChanged, this, &PronunciationWindow::checkFields);
    for (QCheckBox *box : {PatternCheck, CaseCheck})
        connect(box, &QCheckBox::toggled, this, &PronunciationWindow::checkFields);
    connect(&m_stream, &SpeechStream::finished, this, &PronunciationWindow::onListenFinished);
}

void PronunciationWindow::Form_Load()
{
    const QString path = Pronunciation::userFilePath();
    const QString name = QFileInfo(path).fileName();
    QString text, error;
    m_readable = Pronunciation::readFile(path, text, error);
    if (!m_readable) {
        m_file = PronunciationFile();
        fillList(-1);
        msgBox(this,
               QStringLiteral("The pronunciation rules cannot be read, so they cannot be changed here.\n%1")
                   .arg(error),
               Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        return;
    }
    m_file = PronunciationFile::fromText(text);
    fillList(-1);
    // The window's reading becomes the one in use, so what it shows is what is spoken.
    const QList<Pronunciation::Problem> problems = Pronunciation::loadUserRules();
    if (problems.isEmpty())
        return;
    QStringList lines;
    for (int i = 0; i < problems.size() && i < ShownProblems; ++i)
        lines << problems.at(i).text();
    if (problems.size() > ShownProblems)
        lines << QStringLiteral("... and %1 more").arg(problems.size() - ShownProblems);
    msgBox(this,
           QStringLiteral("These lines of %1 are not used:\n%2").arg(name, lines.join(QLatin1Char('\n'))),
           Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
}

void PronunciationWindow::fillList(int selectLine)
{
    const QSignalBlocker blocker(RuleList);
    RuleList->clear();
    QTreeWidgetItem *selected = nullptr;
    for (const PronunciationFile::Entry &entry : m_file.entries()) {
        auto *item = new QTreeWidgetItem(RuleList);
        const bool usable = entry.problem.isEmpty();
        item->setText(MatchColumn, usable ? matchShown(entry.rule) : entry.text.trimmed());
        item->setText(SayColumn, usable ? entry.rule.replacement : QString());
        item->setText(LanguageColumn, languagesShown(entry.rule.languages));
        item->setText(NoteColumn, usable ? QString() : QStringLiteral("not used: ") + entry.problem);
        item->setData(MatchColumn, Qt::UserRole, entry.line);
        if (entry.line == selectLine)
            selected = item;
    }
    for (int column = MatchColumn; column < NoteColumn; ++column)
        RuleList->resizeColumnToContents(column);
    if (selected) {
        RuleList->setCurrentItem(selected);
        RuleList->scrollToItem(selected);
    }
    checkFields();
}

int PronunciationWindow::selectedLine() const
{
    const QList<QTreeWidgetItem *> items = RuleList->selectedItems();
    return items.isEmpty() ? -1 : items.first()->data(MatchColumn, Qt::UserRole).toInt();
}

PronunciationRule PronunciationWindow::ruleInFields() const
{
    PronunciationRule rule;
    rule.kind = PatternCheck->isChecked() ? PronunciationRule::Kind::Pattern : PronunciationRule::Kind::Words;
    rule.match =
        rule.kind == PronunciationRule::Kind::Pattern ? MatchText->text() : MatchText->text().simplified();
    rule.replacement = SayText->text().trimmed();
    rule.matchCase = CaseCheck->isChecked();
    rule.languages = Pronunciation::languagesFromText(LanguageText->text());
    return rule;
}

void PronunciationWindow::checkFields()
{
    const PronunciationRule rule = ruleInFields();
    const QString problem = rule.match.isEmpty() ? QString() : Pronunciation::ruleProblem(rule);
    const bool ready = !rule.match.isEmpty() && problem.isEmpty();
    if (rule.match.isEmpty())
        CheckLabel->setText(QStringLiteral("Type the words to say differently, or a regular expression."));
    else if (!problem.isEmpty())
        CheckLabel->setText(QStringLiteral("Cannot be used: %1.").arg(problem));
    else
        CheckLabel->setText(rule.kind == PronunciationRule::Kind::Pattern
                                ? QStringLiteral("The pattern is valid.")
                                : QStringLiteral("The rule is valid."));
    const bool chosen = selectedLine() >= 0;
    AddButton->setEnabled(m_readable && ready);
    ChangeButton->setEnabled(m_readable && ready && chosen);
    RemoveButton->setEnabled(m_readable && chosen);
    const bool phrase = !TestText->text().trimmed().isEmpty() ||
                        (rule.kind == PronunciationRule::Kind::Words && !rule.match.isEmpty());
    ListenButton->setEnabled(ready && phrase);
}

void PronunciationWindow::RuleList_Click()
{
    const int line = selectedLine();
    for (const PronunciationFile::Entry &entry : m_file.entries()) {
        if (entry.line != line)
            continue;
        const PronunciationRule &rule = entry.rule;
        const bool parsed = !rule.match.isEmpty();
        PatternCheck->setChecked(parsed && rule.kind == PronunciationRule::Kind::Pattern);
        CaseCheck->setChecked(parsed && rule.matchCase);
        MatchText->setText(parsed ? rule.match : entry.text.trimmed());
        SayText->setText(rule.replacement);
        LanguageText->setText(rule.languages.join(QStringLiteral(", ")));
        break;
    }
    checkFields();
}

bool PronunciationWindow::save(const PronunciationFile &edited, int selectLine)
{
    QString error;
    if (!Pronunciation::writeFile(Pronunciation::userFilePath(), edited.text(), error)) {
        msgBox(this, QStringLiteral("The pronunciation rules could not be saved: %1").arg(error),
               Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        return false;
    }
    m_file = edited;
    Pronunciation::loadUserRules();
    fillList(selectLine);
    emit rulesChanged();
    return true;
}

void PronunciationWindow::AddButton_Click()
{
    const PronunciationRule rule = ruleInFields();
    if (!m_readable || rule.match.isEmpty() || !Pronunciation::ruleProblem(rule).isEmpty())
        return;
    PronunciationFile edited = m_file;
    const int line = edited.add(rule);
    save(edited, line);
}

void PronunciationWindow::ChangeButton_Click()
{
    const PronunciationRule rule = ruleInFields();
    const int line = selectedLine();
    if (!m_readable || line < 0 || rule.match.isEmpty() || !Pronunciation::ruleProblem(rule).isEmpty())
        return;
    PronunciationFile edited = m_file;
    save(edited, edited.replace(line, rule));
}

void PronunciationWindow::RemoveButton_Click()
{
    const int line = selectedLine();
    if (!m_readable || line < 0)
        return;
    PronunciationFile edited = m_file;
    edited.remove(line);
    save(edited, -1);
}

void PronunciationWindow::ListenButton_Click()
{
    const PronunciationRule rule = ruleInFields();
    if (rule.match.isEmpty() || !Pronunciation::ruleProblem(rule).isEmpty())
        return;
    m_listenPhrase = TestText->text().trimmed();
    if (m_listenPhrase.isEmpty() && rule.kind == PronunciationRule::Kind::Words)
        m_listenPhrase = rule.match;
    if (m_listenPhrase.isEmpty())
        return;
    m_listenVoice = m_voice ? m_voice() : PronunciationVoice();
    if (!m_listenVoice.engine) {
        HeardLabel->setText(QStringLiteral("There is no voice to listen with."));
        return;
    }
    // Without: the file's other rules (the one chosen in the list is the one being tried).
    PronunciationFile others = m_file;
    others.remove(selectedLine());
    auto without = std::make_shared<PronunciationRules>();
    without->addText(others.text(), Pronunciation::UserFileName);
    auto with = std::make_shared<PronunciationRules>(*without);
    with->add(rule);

    const QString language = m_listenVoice.language;
    const QString before = pronounce(without->forLanguage(language).get(), m_listenPhrase).text;
    const QString after = pronounce(with->forLanguage(language).get(), m_listenPhrase).text;
    if (!Pronunciation::appliesTo(rule.languages, language))
        HeardLabel->setText(QStringLiteral("The rule is not for the current voice's language (%1): \"%2\" is "
                                           "said as it is.")
                                .arg(language, before));
    else
        HeardLabel->setText(QStringLiteral("Without the rule: \"%1\"; with it: \"%2\".").arg(before, after));

    m_listenNext = with;
    m_stream.setPronunciation(without);
    m_stream.start(*m_listenVoice.engine, m_listenPhrase, m_listenVoice.params);
}

void PronunciationWindow::onListenFinished()
{
    if (!m_listenNext) {
        emit listened();
        return;
    }
    m_stream.setPronunciation(std::exchange(m_listenNext, nullptr));
    m_stream.start(*m_listenVoice.engine, m_listenPhrase, m_listenVoice.params);
}

void PronunciationWindow::CloseButton_Click()
{
    m_stream.discard();
    m_listenNext.reset();
    close();
}
