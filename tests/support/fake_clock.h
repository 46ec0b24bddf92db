#pragma once

#include "platform/clock.h"

// A clock that stands still until the test moves it. Installs itself for its lifetime.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start) : m_now(std::move(start)) { Clock::install(this); }
    ~FakeClock() override { Clock::install(nullptr); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    QDateTime now() const override { return m_now; }
    void set(const QDateTime &moment) { m_now = moment; }
    void advanceSeconds(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
