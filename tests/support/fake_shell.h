#pragma once

#include "platform/shell.h"

// Records every target handed to the shell instead of opening it. Installs itself for its
// lifetime and puts back whatever was installed before.
class FakeShell final : public Shell
{
public:
    FakeShell() : m_previous(Shell::installed()) { Shell::install(this); }
    ~FakeShell() override { Shell::install(m_previous); }
    FakeShell(const FakeShell &) = delete;
    FakeShell &operator=(const FakeShell &) = delete;

    bool open(const QString &target) override
    {
        m_opened.append(target);
        return m_result;
    }
    // What open() answers from now on (true by default).
    void setResult(bool result) { m_result = result; }
    const QStringList &opened() const { return m_opened; }

private:
    Shell *m_previous = nullptr;
    QStringList m_opened;
    bool m_result = true;
};
