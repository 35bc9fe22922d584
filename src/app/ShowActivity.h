// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace pgw {

// Keeps the display awake while the musician is in a show.
class ShowActivity
{
public:
    static constexpr QLatin1StringView reason {"Keep the Pagewright player visible during the show"};

    virtual ~ShowActivity() = default;
    virtual void begin() = 0;
    virtual void end() = 0;
    virtual bool isHeld() const = 0;
};

class NullShowActivity : public ShowActivity
{
public:
    void begin() override { m_held = true; }
    void end() override { m_held = false; }
    bool isHeld() const override { return m_held; }

private:
    bool m_held = false;
};

// org.freedesktop.ScreenSaver on the session bus. Without a bus or the service it quietly does nothing.
class FreedesktopShowActivity : public ShowActivity
{
public:
    FreedesktopShowActivity();
    ~FreedesktopShowActivity() override;

    void begin() override;
    void end() override;
    bool isHeld() const override { return m_wanted; }

private:
    struct State;
    std::shared_ptr<State> m_state;
    bool m_wanted = false;
};

} // namespace pgw
