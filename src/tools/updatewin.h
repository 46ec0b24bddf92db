#pragma once

#include "platform/web_transfer.h"
#include "tools/update_rules.h"

#include <QFile>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTimer;

// The online update window: checks the vendor's site for a newer version, downloads the
// installer into the program folder, starts it once it is verified and ends the program so the
// installer can replace its files.
class updatewin : public QWidget
{
    Q_OBJECT
public:
    // What the window needs from the rest of the program.
    struct Links
    {
        // Caption of the main window's version label ("Version 1.71").
        std::function<QString()> versionCaption;
        // Process-wide flags: whether the window may close, and whether a running download must
        // stop (the program is ending). Both must point to flags that outlive the window.
        bool *UpdateCloseAllowed = nullptr;
        bool *UpdateCancel = nullptr;
        // Ends the program for the installer: settings written, tray icon and hooks removed.
        std::function<void()> endForInstaller;
    };

    explicit updatewin(Links links, QWidget *parent = nullptr);
    ~updatewin() override;

    // Puts the window into its opening state.
    void Form_Load();

    void Command4_Click(); // Check
    void Command5_Click(); // Update
    void Command1_Click(); // Stop
    void Command8_Click(); // Close

    // Shows a transfer state's text in Label2; unknown states are ignored.
    void showTransferState(int state);

    // The caps and deadlines of the transfers (tests shorten them).
    void setTransferLimits(const update::TransferLimits &limits) { m_limits = limits; }

    QLabel *Label1 = nullptr;  // current version
    QLabel *Label2 = nullptr;  // instruction and transfer state
    QLabel *Label5 = nullptr;  // check result
    QLabel *Label6 = nullptr;  // "Update" instruction
    QLabel *Label8 = nullptr;  // warning that the program will close
    QLabel *Label40 = nullptr; // progress bar track
    QLabel *Label4 = nullptr;  // progress bar, filled part
    QLabel *Label20 = nullptr; // percentage
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command8 = nullptr;

    QString CurrentVersionText;
    int DownloadState = 1; // 1 normal, 100 stopped by the user

    static constexpr int TrackWidthTwips = 5000;
    static constexpr int StoppedBarWidthTwips = 45;

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    // Why the window itself ended a download before its end.
    enum class DownloadFault
    {
        None,
        NoSize,      // no usable Content-Length
        TooLong,     // more bytes than announced, or more than any installer has
        WriteFailed, // the installer file could not be made or written
    };

    // A transfer under way and its overall deadline, which goes with it.
    struct Transfer
    {
        std::unique_ptr<WebTransfer> web;
        QTimer *deadline = nullptr;
        qint64 startedMs = 0;
        Transfer() = default;
        Transfer(const Transfer &) = delete;
        Transfer &operator=(const Transfer &) = delete;
        ~Transfer();
    };

    void buildControls();
    void showLostFiles();
    std::unique_ptr<Transfer> startTransfer(const QString &url, qint64 deadlineMs,
                                            std::function<void()> headers, std::function<void()> readyRead,
                                            std::function<void()> finished);
    void extendDeadline(Transfer &transfer, qint64 deadlineMs);
    void Inet3_Finished();
    void Inet3_ReadyRead();
    void Inet4_Headers();
    void Inet4_ReadyRead();
    void Inet4_Finished();
    void checkFailed();
    void showSorry();
    void downloadNotVerified();
    void endDownload(DownloadFault fault);
    void removeInstaller();
    void showNothingInstalled();
    void setBarWidth(int twips);
    // Stops a transfer without running its end handler.
    void cancelQuietly(std::unique_ptr<Transfer> &transfer);

    Links m_links;
    update::TransferLimits m_limits;
    std::unique_ptr<WebSession> m_network; // opened on the first transfer
    std::unique_ptr<Transfer> m_inet3;     // version file
    std::unique_ptr<Transfer> m_inet4;     // installer
    QByteArray m_versionBytes;
    update::VersionFile m_versionFile;
    QFile m_installer;
    qint64 m_expectedSize = 0;
    qint64 m_written = 0;
    DownloadFault m_fault = DownloadFault::None;
};
