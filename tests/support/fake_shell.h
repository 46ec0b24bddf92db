#pragma once

#include "platform/shell.h"

#include <QTimer>

// Records every target handed to the shell instead of opening it. Installs itself for its
// lifetime and puts back whatever was installed before.
class FakeShell final : public Shell
{
public:
    // How the next opens end.
    enum class Outcome
    {
        Opened,     // a program took the target
        NotOpened,  // the desktop says at once that nothing takes it
        LateFailure // accepted, but the program found for it gives up once the event loop runs
    };

    FakeShell() : m_previous(Shell::installed()) { Shell::install(this); }
    ~FakeShell() override { Shell::install(m_previous); }
    FakeShell(const FakeShell &) = delete;
    FakeShell &operator=(const FakeShell &) = delete;

    bool open(const QString &target, LateFailure failed) override
    {
        m_opened.append(target);
        if (m_outcome == Outcome::LateFailure && failed)
            QTimer::singleShot(0, [failed] { failed(); });
        return m_outcome != Outcome::NotOpened;
    }
    // What open() answers from now on (true, opened, by default).
    void setResult(bool result) { m_outcome = result ? Outcome::Opened : Outcome::NotOpened; }
    void setOutcome(Outcome outcome) { m_outcome = outcome; }
    const QStringList &opened() const { return m_opened; }

private:
    Shell *m_previous = nullptr;
    QStringList m_opened;
    Outcome m_outcome = Outcome::Opened;
};
