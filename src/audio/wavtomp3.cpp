#include "audio/wavtomp3.h"

#include "audio/audio_progress.h"
#include "audio/job_record.h"
#include "audio/wavtomp3end.h"
#include "platform/accessibility.h"
#include "platform/bounded_file.h"
#include "platform/dialogs.h"
#include "platform/interval_timer.h"
#include "platform/part_file.h"
#include "platform/program_folder.h"
#include "platform/program_picture.h"
#include "platform/record_codec.h"
#include "platform/wav_reader.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QWindow>

namespace {

constexpr int TickMs = 500;
// Shorter paths cannot name a file in a folder ("c:\a.wav" has 8 characters).
constexpr int ShortestPath = 8;

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString converterIniPath()
{
    return programFile(QStringLiteral("tomp3.ini"));
}

QIcon pictureIcon(const QString &name)
{
    return QIcon(programPicture(name));
}

} // namespace

QByteArray encodeConverterFolders(const ConverterFolders &folders)
{
    RecordWriter writer;
    writer.writeString(folders.LastSourceFolder);
    writer.writeString(folders.LastTargetFolder);
    return writer.data();
}

ConverterFolders decodeConverterFolders(const QByteArray &data)
{
    RecordReader reader(data);
    ConverterFolders folders;
    folders.LastSourceFolder = reader.readString();
    folders.LastTargetFolder = reader.readString();
    return folders;
}

wavtomp3::wavtomp3(JobRecord &job, QWidget *parent) : QWidget(parent, Qt::Window), m_job(job)
{
    setObjectName(QStringLiteral("wavtomp3"));
    auto *grid = new QGridLayout(this);
    Label3 = new QLabel(QStringLiteral("Source wav file"), this);
    Label4 = new QLabel(QStringLiteral("Target mp3 file"), this);
    Text1 = new QLineEdit(this);
    Text2 = new QLineEdit(this);
    Text1->setAccessibleName(QStringLiteral("Source wav file"));
    Text2->setAccessibleName(QStringLiteral("Target mp3 file"));
    Label3->setBuddy(Text1);
    Label4->setBuddy(Text2);
    Image1 = new QToolButton(this);
    Image2 = new QToolButton(this);
    Image1->setAccessibleName(QStringLiteral("Browse for the source wav file"));
    Image2->setAccessibleName(QStringLiteral("Browse for the target mp3 file"));
    for (QToolButton *image : {Image1, Image2}) {
        image->setAutoRaise(true);
        image->setIcon(pictureIcon(QStringLiteral("open1.bmp")));
        image->installEventFilter(this);
    }
    Label1 = new QLabel(QStringLiteral("0%"), this);
    Label2 = new QLabel(QStringLiteral("00:00:00"), this);
    Label1->setAccessibleName(QStringLiteral("Completed"));
    Label2->setAccessibleName(QStringLiteral("Elapsed time"));
    Label1->hide();
    Label2->hide();
    Command2 = new QPushButton(QStringLiteral("Conver&t"), this);
    Command1 = new QPushButton(QStringLiteral("&Close"), this);
    Command2->setAccessibleName(QStringLiteral("Convert"));
    Command1->setAccessibleName(QStringLiteral("Close"));
    Command2->setDefault(true);

    grid->addWidget(Label3, 0, 0);
    grid->addWidget(Text1, 1, 0);
    grid->addWidget(Image1, 1, 1);
    grid->addWidget(Label4, 2, 0);
    grid->addWidget(Text2, 3, 0);
    grid->addWidget(Image2, 3, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(Label1);
    bottom->addWidget(Label2);
    bottom->addStretch();
    bottom->addWidget(Command2);
    bottom->addWidget(Command1);
    grid->addLayout(bottom, 4, 0, 1, 2);
    setMinimumWidth(420);

    Timer1 = new IntervalTimer(0, this);
    Timer2 = new IntervalTimer(0, this);
    Timer3 = new IntervalTimer(0, this);
    Timer4 = new IntervalTimer(0, this);
    for (int convertCase = 1; convertCase <= 4; ++convertCase)
        connect(timerOfCase(convertCase), &IntervalTimer::Timer, this,
                [this, convertCase] { ConvertTimer_Timer(convertCase); });
    connect(Image1, &QToolButton::clicked, this, &wavtomp3::Image1_Click);
    connect(Image2, &QToolButton::clicked, this, &wavtomp3::Image2_Click);
    connect(Command2, &QPushButton::clicked, this, &wavtomp3::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &wavtomp3::Command1_Click);

    // The percentage and the elapsed time are read with what they show.
    Accessibility::valueLabel(Label1, QStringLiteral("Completed"));
    Accessibility::valueLabel(Label2, QStringLiteral("Elapsed time"));
    Accessibility::tabOrder({Text1, Image1, Text2, Image2, Command2, Command1});
    Accessibility::closeOnEscape(this, Command1);
    Form_Load();
}

wavtomp3::~wavtomp3()
{
    // The program is ending with a conversion in progress: the encoder stops and nothing it
    // wrote stays behind.
    if (m_job.Running &&
        (Timer1->isRunning() || Timer2->isRunning() || Timer3->isRunning() || Timer4->isRunning())) {
        Encoder.stop();
        removeConversionFiles();
        m_job.release();
    }
}

IntervalTimer *wavtomp3::timerOfCase(int convertCase) const
{
    switch (convertCase) {
    case 1:
        return Timer1;
    case 2:
        return Timer2;
    case 3:
        return Timer3;
    default:
        return Timer4;
    }
}

void wavtomp3::Form_Load()
{
    setWindowTitle(QStringLiteral("Convert wav to mp3 - Parlanto"));
    const QString ini = converterIniPath();
    if (BoundedFile::probe(ini) == BoundedFile::Outcome::Missing)
        writeRecordFile(ini, encodeConverterFolders({programFolder(), programFolder()}));
    Folders = decodeConverterFolders(readRecordFile(ini).value_or(QByteArray()));
    // A damaged, unreadable or non-record file: start from the program folder again.
    if (Folders.LastSourceFolder.isEmpty())
        Folders.LastSourceFolder = programFolder();
    if (Folders.LastTargetFolder.isEmpty())
        Folders.LastTargetFolder = programFolder();
}

void wavtomp3::Form_Unload()
{
    writeRecordFile(converterIniPath(), encodeConverterFolders(Folders));
}

void wavtomp3::closeEvent(QCloseEvent *event)
{
    // The window only hides: a conversion in progress goes on and still reports its end.
    Form_Unload();
    event->accept();
}

void wavtomp3::Image1_Click()
{
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Select A File");
    request.initialFolder = Dialogs::startFolder(Folders.LastSourceFolder);
    request.filters = {{QStringLiteral("Wave File (*.wav)"), QStringLiteral("*.wav")}};
    const auto answer = Dialogs::instance().openFile(this, request);
    if (!answer)
        return;
    const QString path = QString(answer->fileName).remove(QChar(0)).trimmed();
    if (path.isEmpty())
        return;
    Folders.LastSourceFolder = folderOf(path);
    Text1->setText(path);
}

void wavtomp3::Image2_Click()
{
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Save as");
    request.initialFolder = Dialogs::startFolder(Folders.LastTargetFolder);
    request.filters = {{QStringLiteral("MP3 File(*.mp3)"), QStringLiteral("*.mp3")}};
    const auto answer = Dialogs::instance().saveFile(this, request);
    if (!answer)
        return;
    QString path = QString(answer->fileName).remove(QChar(0)).trimmed();
    if (path.isEmpty())
        return;
    if (path.right(4) != QLatin1String(".mp3"))
        path += QStringLiteral(".mp3");
    Folders.LastTargetFolder = folderOf(path);
    Text2->setText(path);
}

int wavtomp3::convertCaseOf(const QString &source, const QString &target)
{
    const bool sourceBlank = source.contains(QLatin1Char(' '));
    const bool targetBlank = target.contains(QLatin1Char(' '));
    if (sourceBlank)
        return targetBlank ? 4 : 2;
    return targetBlank ? 3 : 1;
}

void wavtomp3::Command2_Click()
{
    if (m_job.Running) {
        msgBox(this, jobStillRunningMessage(), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        return;
    }
    const QString source = Text1->text().trimmed();
    const QString target = Text2->text().trimmed();
    if (source.size() < ShortestPath) {
        msgBox(this, QStringLiteral("Please select a source wav file"));
        return;
    }
    if (!QFileInfo(source).isFile()) {
        msgBox(this, source + QStringLiteral(" is not exist"));
        return;
    }
    // The encoder turns whatever it is given into sound (a text file into a blip of noise): only a
    // WAV file it can read goes to it.
    if (const QString problem = wavFileProblem(source); !problem.isEmpty()) {
        msgBox(this, QStringLiteral("%1 cannot be converted: the file %2.").arg(source, problem),
               Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
        return;
    }
    if (target.size() < ShortestPath) {
        msgBox(this, QStringLiteral("Please input a target mp3 file name, like as c:\\hero.mp3"));
        return;
    }
    if (QFileInfo::exists(target) &&
        msgBox(this, target + QStringLiteral(" is already exist,do you want to overwrite it ?"),
               Dialogs::Buttons::YesNo, Dialogs::Icon::Critical, QStringLiteral("Message"),
               1) != Dialogs::Answer::Yes)
        return;
    if (!m_job.claim())
        return;
    m_job.JobWavPath = source;
    m_job.JobTargetPath = target;

    ConvertCase = convertCaseOf(source, target);
    TempWavCopy = JobFiles::converterWav();
    TempMp3Out = JobFiles::converterMp3();
    const bool copySource = ConvertCase == 2 || ConvertCase == 4;
    const bool viaTempOut = ConvertCase == 3 || ConvertCase == 4;
    // The MP3 takes the target's name only when it is complete: the encoder writes the part file
    // beside the target (or the scratch folder's temporary, copied there at the end).
    PartFile::removeStale(QFileInfo(target).absolutePath());
    const QString input = copySource ? TempWavCopy : source;
    const QString output = viaTempOut ? TempMp3Out : PartFile::pathFor(target);
    QFile::remove(output);
    if (copySource) {
        QFile::remove(TempWavCopy);
        QString error;
        if (!PartFile::copy(source, TempWavCopy, &error)) {
            endConversion(QStringLiteral("the source could not be copied (%1)").arg(error));
            return;
        }
    }

    Mp3EstimateHundredth = AudioProgress::mp3EstimateHundredth(QFileInfo(input).size());
    ConvertPercent = 0;
    Label1->setText(AudioProgress::convertPercentText(0));
    Label2->setText(AudioProgress::elapsedText(0));
    Label1->setVisible(true);
    Label2->setVisible(true);
    m_job.JobStartTime = QDateTime::currentDateTime();
    m_job.JobElapsedSeconds = 0;
    if (ConvertCase == 1)
        timerOfCase(ConvertCase)->setInterval(TickMs);
    if (!Encoder.start(input, output)) {
        endConversion(Encoder.failure());
        return;
    }
    timerOfCase(ConvertCase)->setInterval(TickMs);
}

void wavtomp3::ConvertTimer_Timer(int convertCase)
{
    m_job.refreshElapsed();
    Label2->setText(AudioProgress::elapsedText(m_job.JobElapsedSeconds));
    const bool viaTempOut = convertCase == 3 || convertCase == 4;
    const QString watched = viaTempOut ? TempMp3Out : PartFile::pathFor(m_job.JobTargetPath);
    const bool running = Encoder.isRunning();
    const QFileInfo file(watched);
    if (!file.exists() && running)
        return;
    ConvertPercent = AudioProgress::convertPercent(file.size(), Mp3EstimateHundredth);
    Label1->setText(AudioProgress::convertPercentText(ConvertPercent));
    if (running)
        return;

    timerOfCase(convertCase)->setInterval(0);
    QString failure = Encoder.failure();
    if (failure.isEmpty()) {
        if (viaTempOut)
            PartFile::copy(TempMp3Out, m_job.JobTargetPath, &failure);
        else
            PartFile::commit(watched, m_job.JobTargetPath, &failure);
    }
    endConversion(failure);
}

void wavtomp3::endConversion(const QString &failure)
{
    for (int convertCase = 1; convertCase <= 4; ++convertCase)
        timerOfCase(convertCase)->setInterval(0);
    Label1->hide();
    Label2->hide();
    m_job.release();
    if (!failure.isEmpty()) {
        // Nothing half made is left behind beside the target or in the scratch folder.
        removeConversionFiles();
        msgBox(this, QStringLiteral("%1 could not be made: %2").arg(m_job.JobTargetPath, failure),
               Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
        return;
    }
    if (CompletionWindow)
        CompletionWindow->close();
    CompletionWindow = new wavtomp3end(m_job);
    CompletionWindow->show();
}

void wavtomp3::removeConversionFiles()
{
    QFile::remove(TempWavCopy);
    QFile::remove(TempMp3Out);
    QFile::remove(PartFile::pathFor(m_job.JobTargetPath));
}

void wavtomp3::Command1_Click()
{
    close();
}

void wavtomp3::mousePressEvent(QMouseEvent *event)
{
    // A press on the surface or a label drags the window as a press on its caption would.
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

bool wavtomp3::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 || watched == Image2) {
        auto *image = static_cast<QToolButton *>(watched);
        if (event->type() == QEvent::Enter)
            image->setIcon(pictureIcon(QStringLiteral("open0.bmp")));
        else if (event->type() == QEvent::Leave)
            image->setIcon(pictureIcon(QStringLiteral("open1.bmp")));
    }
    return QWidget::eventFilter(watched, event);
}
