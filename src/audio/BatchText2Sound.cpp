#include "audio/BatchText2Sound.h"

#include "audio/audio_progress.h"
#include "audio/job_record.h"
#include "platform/dialogs.h"
#include "platform/interval_timer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

// The batch window itself: its controls, the remembered drive and folders, the choice of source
// files and target folder, and closing. The conversion chain is in BatchText2Sound_chain.cpp.

BatchText2Sound::BatchText2Sound(BatchText2SoundHost host, JobRecord &job, QWidget *parent)
    : QWidget(parent, Qt::Window), m_host(std::move(host)), m_job(job)
{
    setObjectName(QStringLiteral("BatchText2Sound"));
    auto *layout = new QVBoxLayout(this);

    auto *source = new QGroupBox(QStringLiteral("Please select source *.txt files"), this);
    auto *sourceGrid = new QGridLayout(source);
    Drive1 = new QComboBox(source);
    Drive1->setAccessibleName(QStringLiteral("Drive"));
    Dir1 = new QTreeView(source);
    Dir1->setAccessibleName(QStringLiteral("Folder"));
    m_dirModel = new QFileSystemModel(this);
    m_dirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    Dir1->setModel(m_dirModel);
    for (int column = 1; column < m_dirModel->columnCount(); ++column)
        Dir1->hideColumn(column);
    Dir1->setHeaderHidden(true);
    File1 = new QListWidget(source);
    File1->setAccessibleName(QStringLiteral("Text files"));
    File1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Check1 = new QCheckBox(QStringLiteral("Select &all text files above"), source);
    auto *sourceLabel = new QLabel(QStringLiteral("Source folder"), source);
    Text2 = new QLineEdit(source);
    Text2->setReadOnly(true);
    sourceLabel->setBuddy(Text2);
    sourceGrid->addWidget(Drive1, 0, 0);
    sourceGrid->addWidget(Dir1, 1, 0);
    sourceGrid->addWidget(File1, 0, 1, 2, 1);
    sourceGrid->addWidget(Check1, 2, 0, 1, 2);
    sourceGrid->addWidget(sourceLabel, 3, 0);
    sourceGrid->addWidget(Text2, 3, 1);
    sourceGrid->addWidget(new QLabel(QStringLiteral("Don't have space in file name"), source), 4, 0, 1, 2);
    layout->addWidget(source);

    auto *target = new QGroupBox(QStringLiteral("Please select target folder"), this);
    auto *targetRow = new QHBoxLayout(target);
    Text1 = new QLineEdit(target);
    Text1->setAccessibleName(QStringLiteral("Target folder"));
    Command3 = new QPushButton(QStringLiteral("&Select"), target);
    targetRow->addWidget(Text1);
    targetRow->addWidget(Command3);
    layout->addWidget(target);

    auto *progress = new QHBoxLayout;
    Label3 = new QLabel(this);
    Label4 = new QLabel(this);
    Label2 = new QLabel(this);
    Label2->setWordWrap(true);
    progress->addWidget(Label3);
    progress->addWidget(Label4);
    progress->addWidget(Label2, 1);
    layout->addLayout(progress);
    layout->addWidget(
        new QLabel(QStringLiteral("Note: To convert text to audio file, TTS5 is faster than TTS4."), this));

    auto *buttons = new QHBoxLayout;
    Command2 = new QPushButton(QStringLiteral("Begin convert to &mp3 files"), this);
    Command5 = new QPushButton(QStringLiteral("Begin convert to &wav files"), this);
    Command4 = new QPushButton(QStringLiteral("St&op"), this);
    Command1 = new QPushButton(QStringLiteral("&Close"), this);
    Command4->setEnabled(false);
    for (QPushButton *button : {Command2, Command5, Command4, Command1})
        buttons->addWidget(button);
    layout->addLayout(buttons);

    for (IntervalTimer **timer :
         {&Timer41, &Timer42, &Timer43, &Timer44, &Timer45, &Timer51, &Timer52, &Timer54, &Timer55,
          &TimerWAV41, &TimerWAV42, &TimerWAV43, &TimerWAV51, &TimerWAV52})
        *timer = new IntervalTimer(0, this);
    connect(Timer41, &IntervalTimer::Timer, this, [this] { startFile(false); });
    connect(TimerWAV41, &IntervalTimer::Timer, this, [this] { startFile(false); });
    connect(Timer51, &IntervalTimer::Timer, this, [this] { startFile(true); });
    connect(TimerWAV51, &IntervalTimer::Timer, this, [this] { startFile(true); });
    for (IntervalTimer *timer : {Timer42, TimerWAV42})
        connect(timer, &IntervalTimer::Timer, this, &BatchText2Sound::waitForWav);
    for (IntervalTimer *timer : {Timer43, TimerWAV43})
        connect(timer, &IntervalTimer::Timer, this, &BatchText2Sound::recordingProgress);
    for (IntervalTimer *timer : {Timer52, TimerWAV52})
        connect(timer, &IntervalTimer::Timer, this, &BatchText2Sound::speakToFile);
    for (IntervalTimer *timer : {Timer44, Timer54})
        connect(timer, &IntervalTimer::Timer, this, &BatchText2Sound::waitForMp3);
    for (IntervalTimer *timer : {Timer45, Timer55})
        connect(timer, &IntervalTimer::Timer, this, &BatchText2Sound::encodingProgress);

    connect(Drive1, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading)
            Drive1_Change();
    });
    connect(Dir1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (!m_loading && current.isValid())
                    setDir1Path(m_dirModel->filePath(current));
            });
    connect(Check1, &QCheckBox::clicked, this, &BatchText2Sound::Check1_Click);
    connect(Command3, &QPushButton::clicked, this, &BatchText2Sound::Command3_Click);
    connect(Text1, &QLineEdit::textChanged, this, &BatchText2Sound::Text1_Change);
    connect(Command2, &QPushButton::clicked, this, &BatchText2Sound::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &BatchText2Sound::Command5_Click);
    connect(Command4, &QPushButton::clicked, this, &BatchText2Sound::Command4_Click);
    connect(Command1, &QPushButton::clicked, this, &BatchText2Sound::Command1_Click);
    // The recording's and the encoder's ends move the chain on at once; the timers only show
    // progress meanwhile.
    connect(&Ttsparlvcocx1, &Parlocx::RecordingEnded, this, &BatchText2Sound::recordingEnded);
    connect(&Encoder, &Mp3Encoder::finished, this, &BatchText2Sound::encoderEnded);

    Form_Load();
}

BatchText2Sound::~BatchText2Sound()
{
    if (m_running) {
        m_encoding = false;
        Ttsparlvcocx1.Stop();
        Encoder.stop();
        removeTemporaries();
        m_job.release();
    }
}

void BatchText2Sound::Form_Load()
{
    setWindowTitle(QStringLiteral("Batch Convert Text Files to Sound Files - Parlanto"));
    CloseAllowed = -1;
    m_places = m_host.loadPlaces ? m_host.loadPlaces() : BatchPlaces();

    m_loading = true;
    Drive1->clear();
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            Drive1->addItem(volume.rootPath());
    int drive = Drive1->findText(BatchNames::driveOfRemembered(m_places.Drive));
    if (drive < 0) { // the remembered volume is not mounted now
        drive = qMax(0, Drive1->findText(QStringLiteral("/")));
        m_places.Drive = QStringLiteral("C:");
    }
    Drive1->setCurrentIndex(drive);
    m_loading = false;

    QString folder = BatchNames::folderOfRemembered(m_places.SourceFolder);
    if (!QFileInfo(folder).isDir()) {
        folder = QDir::homePath();
        m_places.SourceFolder = QStringLiteral("C:\\");
    }
    setDir1Path(folder);

    const QString targetText = m_places.TargetFolder;
    if (!QFileInfo(BatchNames::folderOfRemembered(targetText)).isDir())
        m_places.TargetFolder = QStringLiteral("C:\\");
    m_loading = true;
    Text1->setText(BatchNames::folderOfRemembered(m_places.TargetFolder));
    m_loading = false;
    rememberPlaces();
}

void BatchText2Sound::rememberPlaces()
{
    if (m_host.savePlaces)
        m_host.savePlaces(m_places);
}

void BatchText2Sound::Drive1_Change()
{
    const QString root = Drive1->currentText();
    if (!QStorageInfo(root).isReady()) {
        message(QStringLiteral("Device unavailable"));
        m_places.Drive = QStringLiteral("C:");
        rememberPlaces();
        return;
    }
    m_places.Drive = root;
    setDir1Path(BatchNames::folderForDrive(root, m_places.SourceFolder));
}

void BatchText2Sound::setDir1Path(const QString &path)
{
    m_dir1Path = QFileInfo(path).absoluteFilePath();
    const QString root = QStorageInfo(m_dir1Path).rootPath();
    m_loading = true;
    if (const int drive = Drive1->findText(root); drive >= 0) {
        Drive1->setCurrentIndex(drive);
        m_places.Drive = root;
    }
    m_dirModel->setRootPath(root);
    Dir1->setRootIndex(m_dirModel->index(root));
    const QModelIndex current = m_dirModel->index(m_dir1Path);
    Dir1->setCurrentIndex(current);
    Dir1->scrollTo(current);
    m_loading = false;
    Dir1_Change();
}

void BatchText2Sound::Dir1_Change()
{
    m_places.SourceFolder = m_dir1Path;
    rememberPlaces();
    File1->clear();
    File1->addItems(QDir(m_dir1Path).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name));
    Check1->setChecked(false);
    Text2->setText(m_dir1Path);
}

void BatchText2Sound::Check1_Click()
{
    if (File1->count() == 0)
        return;
    if (Check1->isChecked())
        File1->selectAll();
    else
        File1->clearSelection();
}

void BatchText2Sound::Command3_Click()
{
    const auto folder =
        Dialogs::instance().chooseFolder(this, QStringLiteral("Select target folder"),
                                         Dialogs::startFolder(AudioProgress::trimBlanks(Text1->text())));
    if (folder && !folder->isEmpty())
        Text1->setText(folder->section(QChar(0), 0, 0));
}

void BatchText2Sound::Text1_Change()
{
    if (m_loading)
        return;
    m_places.TargetFolder = Text1->text();
    rememberPlaces();
}

void BatchText2Sound::setRunning(bool running)
{
    m_running = running;
    CloseAllowed = running ? 0 : -1;
    Command4->setEnabled(running);
    for (QWidget *control :
         {static_cast<QWidget *>(Command1), static_cast<QWidget *>(Command2),
          static_cast<QWidget *>(Command5), static_cast<QWidget *>(Command3), static_cast<QWidget *>(Text1)})
        control->setEnabled(!running);
}

void BatchText2Sound::Command1_Click()
{
    close();
}

void BatchText2Sound::closeEvent(QCloseEvent *event)
{
    if (CloseAllowed == 0) {
        event->ignore();
        return;
    }
    rememberPlaces();
    event->accept();
}

void BatchText2Sound::message(const QString &text)
{
    msgBox(this, text, Dialogs::Buttons::Ok, Dialogs::Icon::None, QStringLiteral("Parlanto"));
}
