// The window model's Config flow and settings: the dialog on the current values, one save, the
// port map read again, the port opened again; and a settings file that cannot be read.
#include "ModelRig.h"

#include <gtest/gtest.h>

using namespace model_test;

namespace {

class ModelSettings : public ::testing::Test {
protected:
    ModelSettings() {
        rig.store.Stored.Ports[2] = "socket://kestro-second:4002";
        rig.Start();
        rig.UseAddress(5);
    }
    // The dialog: confirmed with `settings`, or cancelled.
    void Dialog(std::optional<TSettings> settings) {
        rig.view.Config = [this, settings](const TSettings& current) {
            Shown.push_back(current);
            return settings;
        };
    }

    TModelRig rig;
    std::vector<TSettings> Shown;
};

TEST_F(ModelSettings, CancelledConfigChangesNothingAndDoesNotReopen) {
    Dialog(std::nullopt);
    rig.Run(TMainAction::Config);
    EXPECT_EQ(Shown, std::vector<TSettings>({{1, 9600, 30}}));
    EXPECT_TRUE(rig.store.Saved.empty());
    EXPECT_EQ(rig.meters.Line->Calls.front(), "Open(socket://kestro-meters:4001)");
    EXPECT_EQ(std::count(rig.meters.Line->Calls.begin(), rig.meters.Line->Calls.end(),
                         "Open(socket://kestro-meters:4001)"),
              1);
}

TEST_F(ModelSettings, ConfirmedConfigSavesOnceReadsThePortsAgainAndReopens) {
    Dialog(TSettings{1, 4800, 150});
    rig.store.Stored.Ports[1] = "socket://kestro-moved:4003"; // changed in the file since the start
    rig.Run(TMainAction::Config);
    EXPECT_EQ(rig.store.Saved, std::vector<TSettings>({{1, 4800, 150}}));
    EXPECT_EQ(rig.meters.Line->OpenedDevice, "socket://kestro-moved:4003");
    EXPECT_EQ(rig.meters.Line->Settings->BaudRate, 4800);
    // Reopened even when nothing changed; the dialog gets the values confirmed last.
    Dialog(TSettings{1, 4800, 150});
    rig.meters.Line->Calls.clear();
    rig.Run(TMainAction::Config);
    EXPECT_EQ(Shown.back(), (TSettings{1, 4800, 150}));
    EXPECT_EQ(rig.meters.Line->Calls.front(), "Close");
}

TEST_F(ModelSettings, APortThatDoesNotOpenAfterConfigDisablesTheDeviceActions) {
    rig.meters.Line->FailOpen = true;
    Dialog(TSettings{2, 9600, 30});
    rig.Run(TMainAction::Config);
    EXPECT_EQ(rig.view.Status(), "Status: Cannot open COM2!");
    for (TMainAction action : DeviceActions)
        EXPECT_FALSE(rig.Enabled(action));
    EXPECT_TRUE(rig.Enabled(TMainAction::Config));

    rig.meters.Line->FailOpen = false;
    Dialog(TSettings{1, 9600, 30});
    rig.Run(TMainAction::Config);
    EXPECT_TRUE(rig.Enabled(TMainAction::SendEcho));
    rig.Run(TMainAction::SendEcho);
    EXPECT_EQ(rig.Text(), "Echo from meter #05 returned");
}

TEST_F(ModelSettings, ASaveThatFailsLeavesThePortAsItWas) {
    rig.store.SaveError = "Unable to write to /read-only/Kestro4SetClock.ini";
    Dialog(TSettings{2, 9600, 30});
    rig.meters.Line->Calls.clear();
    rig.Run(TMainAction::Config);
    EXPECT_EQ(rig.view.Messages,
              std::vector<std::string>({"Unable to write to /read-only/Kestro4SetClock.ini"}));
    EXPECT_TRUE(rig.meters.Line->Calls.empty());
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
    // The dialog's values are taken all the same: the next Config shows them.
    Dialog(std::nullopt);
    rig.Run(TMainAction::Config);
    EXPECT_EQ(Shown.back(), (TSettings{2, 9600, 30}));
}

TEST(ModelSettingsFile, AFileThatCannotBeReadStartsWithTheDefaultsAndSaysSoOnceShown) {
    TModelRig rig;
    rig.store.LoadError = "Unable to read /big/Kestro4SetClock.ini: it is larger than 1 MB";
    rig.Start();
    EXPECT_TRUE(rig.view.Messages.empty()); // not before the window is up
    rig.timers.Advance(0);
    EXPECT_EQ(rig.view.Messages,
              std::vector<std::string>({"Unable to read /big/Kestro4SetClock.ini: it is larger "
                                        "than 1 MB. The default settings apply."}));
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
    EXPECT_EQ(rig.meters.Line->OpenedDevice, PortDevicePath(1));
    EXPECT_EQ(rig.meters.Line->Settings->BaudRate, 9600);
}

} // namespace
