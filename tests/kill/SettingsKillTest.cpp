// The settings under kills: a process saving them over and over is killed at random moments;
// each time a fresh process must find a file that parses and every value whole, either as it
// was last saved or as it was being saved, never torn and never missing once written, and the
// temporaries of the cut-off write gone. The recent computers, changed after each save, must be
// the list as it was or as the cut-off change makes it: no row lost, torn or out of order. Files
// refused part-way (a file size limit) make the save report the failure and leave the previous file
// as it was.
#include "KillTestSupport.h"
#include "SettingsRounds.h"
#include "kernel/Paths.h"
#include "registry/RegistryText.h"

#include <map>
#include <sstream>
#include <sys/resource.h>

namespace {

using namespace killtest;

constexpr const char* valueNames[] = {"lastIP", "lastMAC", "lastPort", "showInfo"};
constexpr std::uint64_t roundsPerStart = 1'000'000; // round numbers of one writer never meet
constexpr int savesTimedAtFirst = 4;

// Each value as read-settings prints it: the texts' bytes in hex, the flag as 0 or 1.
using StoreView = std::map<std::string, std::string>;

StoreView shown(const SavedSettings& saved) {
    const auto text = [](const std::wstring& t) { return hex(t.data(), t.size() * sizeof(WCHAR)); };
    return {{"lastIP", text(saved.fields.host)},
            {"lastMAC", text(saved.fields.mac)},
            {"lastPort", text(saved.fields.port)},
            {"showInfo", saved.showInfo ? "1" : "0"}};
}

class SettingsKillTest : public ::testing::Test {
protected:
    const std::uint64_t startValue = randomStartValue();
    TemporaryFolder folder;
    const fs::path device = folder.path / "device";
    const fs::path file = device / "registry.reg";
    const std::vector<std::string> environment{"DAWNBELL_DEVICE_DIR=" + device.string()};

    SavedSettings round(std::uint64_t n) const { return settingsOfRound(startValue, n); }

    // What a fresh start of the program finds in the store.
    StoreView readStore() const {
        Child reader({"read-settings"}, environment);
        std::istringstream lines(reader.output());
        EXPECT_TRUE(reader.wait());
        StoreView view;
        for (std::string name, value; lines >> name >> value;) {
            view[name] = value;
        }
        EXPECT_EQ(view.size(), std::size(valueNames) + 1);
        return view;
    }

    // The file as a fresh start finds it: it parses (or was never saved), and nothing was set
    // aside as damaged.
    ::testing::AssertionResult fileIsSound() const {
        for (const auto& entry : fs::directory_iterator(device)) {
            if (entry.path().filename().string().find("damaged") != std::string::npos) {
                return ::testing::AssertionFailure() << "set aside: " << entry.path();
            }
        }
        const std::string error =
            fs::exists(file) ? platform::registry::parse(fileBytes(file)).error : "";
        return error.empty() ? ::testing::AssertionSuccess()
                             : ::testing::AssertionFailure() << error;
    }
};

// The recent computers as a list of pool numbers, newest first, changed as the program changes
// its list; shown as read-settings prints them.
struct ListModel {
    std::vector<int> rows;

    void apply(const ListStep& step) {
        if (step.forget) {
            if (step.row < rows.size()) {
                rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(step.row));
            }
            return;
        }
        std::erase(rows, step.computer);
        rows.insert(rows.begin(), step.computer);
        if (rows.size() > RecentComputers::maxRows) {
            rows.pop_back();
        }
    }
    std::string shown() const {
        std::string hosts;
        for (int n : rows) {
            hosts += (hosts.empty() ? "" : ",") + platform::paths::narrow(poolComputer(n).host);
        }
        return hosts.empty() ? "-" : hosts;
    }
};

TEST_F(SettingsKillTest, AfterEveryKillEachValueIsWholeAsLastSavedOrAsBeingSaved) {
    const int kills = std::atoi(setting("DAWNBELL_SETTINGS_KILLS", DAWNBELL_SETTINGS_KILL_COUNT));
    if (kills == 0) {
        GTEST_SKIP() << "this build asks for no kills";
    }
    std::mt19937_64 random(startValue);
    fs::create_directories(device);

    // How long a start and a few saves take here, so that the kills fall on both.
    const auto timed = Clock::now();
    {
        Child writer({"save-settings", std::to_string(startValue), "0"}, environment);
        writer.readUntil([](const std::string& out) {
            return out.size() >= savesTimedAtFirst * sizeof(std::uint64_t);
        });
    }
    const Clock::duration window = Clock::now() - timed;
    fs::remove_all(device);
    fs::create_directories(device);

    StoreView known = shown(SavedSettings{}); // as on a first start
    ListModel knownList;
    for (int kill = 0; kill < kills && !HasFailure(); ++kill) {
        const std::uint64_t first = (static_cast<std::uint64_t>(kill) + 1) * roundsPerStart;
        Child writer({"save-settings", std::to_string(startValue), std::to_string(first)},
                     environment);
        waitRandomly(random, window);
        writer.kill();
        writer.wait();
        // The writer reports each round it saved, one 8-byte number each, from `first` on.
        const std::uint64_t beingSaved = first + writer.output().size() / sizeof(std::uint64_t);
        const StoreView lastSaved = beingSaved == first ? known : shown(round(beingSaved - 1));
        const StoreView next = shown(round(beingSaved));
        ListModel lastSavedList = knownList;
        for (std::uint64_t n = first; n < beingSaved; ++n) {
            lastSavedList.apply(listStepOfRound(startValue, n));
        }
        ListModel nextList = lastSavedList;
        nextList.apply(listStepOfRound(startValue, beingSaved));

        EXPECT_TRUE(fileIsSound()) << "after kill " << kill;
        const StoreView found = readStore();
        for (const char* name : valueNames) {
            EXPECT_TRUE(found.at(name) == lastSaved.at(name) || found.at(name) == next.at(name))
                << name << " is neither " << lastSaved.at(name) << " nor " << next.at(name)
                << " but " << found.at(name) << " after kill " << kill;
        }
        const std::string list = found.at("recent");
        EXPECT_TRUE(list == lastSavedList.shown() || list == nextList.shown())
            << "the recent computers are neither " << lastSavedList.shown() << " nor "
            << nextList.shown() << " but " << list << " after kill " << kill;
        EXPECT_EQ(temporariesIn(device), 0) << "the fresh start leaves no temporary";
        known = found;
        knownList = list == nextList.shown() ? nextList : lastSavedList;
    }
    std::printf("Settings: %d kills\n", kills);
}

TEST_F(SettingsKillTest, SaveRefusedPartWayReportsItAndLeavesThePreviousFileWhole) {
    fs::create_directories(device);
    const auto saveWithoutLimit = [&](int n) {
        Child writer({"save-settings-limited", std::to_string(startValue), std::to_string(n),
                      std::to_string(RLIM_INFINITY)},
                     environment);
        EXPECT_EQ(writer.output(), "saved\n");
        return fileBytes(file);
    };
    const size_t nextSize = saveWithoutLimit(2).size();
    const std::string previous = saveWithoutLimit(1);
    const StoreView before = shown(round(1));
    const StoreView after = shown(round(2));
    int refused = 0;
    bool saved = false;
    // Limits from nothing up, so that each write is cut at every part, until one lets it pass.
    const size_t step = nextSize / 20 + 1;
    for (size_t limit = 0; !saved && limit < 64 * step; limit += step) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << previous;
        Child writer(
            {"save-settings-limited", std::to_string(startValue), "2", std::to_string(limit)},
            environment);
        const std::string outcome = writer.output();
        EXPECT_TRUE(writer.wait());
        EXPECT_EQ(temporariesIn(device), 0) << "a refused write removes its temporary";
        ASSERT_TRUE(fileIsSound());
        const bool fileUnchanged = fileBytes(file) == previous;
        StoreView found = readStore();
        found.erase("recent"); // this writer saves the settings only
        saved = found == after;
        EXPECT_EQ(outcome, saved ? "saved\n" : "refused\n") << "limit " << limit;
        for (const char* name : valueNames) {
            EXPECT_TRUE(found.at(name) == before.at(name) || found.at(name) == after.at(name))
                << name << " with files limited to " << limit << " bytes";
        }
        if (found == before) {
            EXPECT_TRUE(fileUnchanged) << "limit " << limit;
        }
        refused += saved ? 0 : 1;
    }
    EXPECT_TRUE(saved) << "no limit let the save through";
    EXPECT_GE(refused, 10);
}

} // namespace
