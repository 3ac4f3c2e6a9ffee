#pragma once

// One main window on virtual meters, with the settings given directly instead of a file.
#include "TestSupport.h"

#include "VirtualMeter.h"
#include "app/SettingsStore.h"
#include "runtime/Exception.h"
#include "ui/fMain.h"
#include "ui/framework/WarnShape.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The settings a test gives the window, in place of a file.
struct TGivenSettings final : TSettingsStore {
    TStoredSettings Stored;
    int Saves = 0;
    bool FailSave = false;
    bool Unreadable = false; // loading fails as for a file larger than 1 MB

    TStoredSettings Load() override {
        if (Unreadable)
            throw EIniFileException("Unable to read /big/Kestro4SetClock.ini: it is larger "
                                    "than 1 MB");
        return Stored;
    }
    void Save(const TSettings&) override {
        ++Saves;
        if (FailSave)
            throw EIniFileException("Unable to write to /read-only/Kestro4SetClock.ini");
    }
};

// One window on one set of virtual meters, with the settings given directly.
struct TRig {
    std::unique_ptr<vmeter::TVirtualMeter> Meter;
    TGivenSettings Store;
    std::unique_ptr<TfmMain> Window;
    TRecordedMessages Messages;
    int ConfigRuns = 0;
    bool ConfigAnswer = false;
    std::function<void(TSettings&)> OnConfig; // edits the settings in place of the dialog
    std::vector<std::string> History;         // status texts since the window was created

    explicit TRig(vmeter::TOptions options, std::int32_t timeout = 200, std::string portPath = {},
                  bool unreadableSettings = false) {
        Meter = std::make_unique<vmeter::TVirtualMeter>(std::move(options));
        if (portPath.empty())
            portPath = Meter->SlavePath();
        Store.Stored.Settings = {1, 9600, timeout};
        Store.Stored.Ports = {{1, portPath}, {2, "/nonexistent/kestro-port"}};
        Store.Unreadable = unreadableSettings;
        TfmMainHooks hooks;
        hooks.Store = &Store;
        // Whatever the build machine's clock says: no question before a synchronisation.
        hooks.System.PcClock = [] {
            TPcClock pc = SystemPcClock();
            pc.Check = [] {
                return TPcClockStatus{TPcClockStatus::TState::Synchronised, "synchronised"};
            };
            return pc;
        };
        hooks.RunConfig = [this](const TSettings& current) -> std::optional<TSettings> {
            ++ConfigRuns;
            TSettings settings = current;
            if (OnConfig)
                OnConfig(settings);
            return ConfigAnswer ? std::optional<TSettings>(settings) : std::nullopt;
        };
        Window = std::make_unique<TfmMain>(nullptr, hooks);
        QObject::connect(Window.get(), &TfmMain::StatusChanged, [this](const QString& line) {
            History.push_back(line.mid(QStringLiteral("Status: ").size()).toStdString());
        });
        Window->show();
        // Without a window manager (Xvfb) a shown window is not active by itself, and focus
        // checks need an active window.
        Window->activateWindow();
        if (!QTest::qWaitForWindowActive(Window.get()))
            qWarning("window not active");
        SpinIdle();
    }

    template <class T> T* Get(const char* name) const {
        T* child = Window->findChild<T*>(QString::fromLatin1(name));
        if (child == nullptr)
            qFatal("no child %s", name);
        return child;
    }
    QAction* Action(const char* name) const { return Get<QAction>(name); }
    bool Visible(const char* dot) const { return Get<TWarnShape>(dot)->isVisible(); }
    QString Status() const { return Get<QLabel>("lblStatus")->text(); }
    std::string LastStatus() const { return History.empty() ? std::string() : History.back(); }

    void Click(const char* button) { Run(Get<QToolButton>(button)); }
    void ClickToolbar(const char* item) {
        Run(qobject_cast<QToolButton*>(Get<QToolBar>("tbToolbar")->widgetForAction(Action(item))));
    }
    void Run(QToolButton* button) {
        SpinIdle(); // idle-time updates, as before a user's click
        QTest::mouseClick(button, Qt::LeftButton);
        SpinIdle();
    }
    void UseAddress(int addr) {
        Get<QCheckBox>("chbAllMeters")->setChecked(false);
        Get<QSpinBox>("sedKestroId")->setValue(addr);
    }

    QStringList Frames() const {
        QStringList frames;
        for (const vmeter::TLogEntry& entry : Meter->Log())
            frames << QString::fromStdString(entry.Frame);
        return frames;
    }
    QList<int> Speeds() const {
        QList<int> speeds;
        for (const vmeter::TLogEntry& entry : Meter->Log())
            speeds << entry.BaudRate;
        return speeds;
    }
    std::vector<std::string> HistorySince(std::size_t from) const {
        return {History.begin() + static_cast<std::ptrdiff_t>(from), History.end()};
    }
};

inline vmeter::TOptions Bus(std::vector<int> meters) {
    vmeter::TOptions options;
    options.BusMeters = std::move(meters);
    return options;
}

inline vmeter::TOptions Head(int addr, std::vector<int> bus = {}) {
    vmeter::TOptions options = Bus(std::move(bus));
    options.OptoMeter = addr;
    return options;
}
