// The settings under kills: a process saving them over and over is killed at random moments;
// each time a fresh process must find a file that parses and every value whole, either as it
// was last saved or as it was being saved, never torn and never missing once written (the three
// texts all from the same save), and the temporaries of the cut-off write gone. The recent
// computers, changed after each save, must be the list as it was or as the cut-off change makes
// it: no row lost, torn or out of order.
#include "support/Kill.h"
#include "support/SettingsRounds.h"
#include "kernel/Paths.h"
#include "registry/RegistryText.h"

#include <map>
#include <sstream>

namespace {

using namespace killtest;

constexpr std::uint64_t roundsPerStart = 1'000'000; // round numbers of one writer never meet

// Each value as read-settings prints it: the texts' character codes, the flag as 0 or 1, and the
// recent computers' hosts.
using StoreView = std::map<std::string, std::string>;

// The recent computers as pool numbers, newest first, changed as the program changes its list.
struct ListModel {
    std::vector<int> rows;

    ListModel after(const ListStep& step) const {
        ListModel next = *this;
        if (step.forget && step.row < rows.size())
            next.rows.erase(next.rows.begin() + static_cast<std::ptrdiff_t>(step.row));
        if (!step.forget) {
            std::erase(next.rows, step.computer);
            next.rows.insert(next.rows.begin(), step.computer);
            next.rows.resize(std::min(next.rows.size(), RecentComputers::maxRows));
        }
        return next;
    }
    std::string shown() const {
        std::string hosts;
        for (int n : rows)
            hosts += (hosts.empty() ? "" : ",") + platform::paths::narrow(poolComputer(n).host);
        return hosts.empty() ? "-" : hosts;
    }
};

class SettingsKillTest : public ::testing::Test {
protected:
    const std::uint64_t startValue = randomStartValue();
    TemporaryFolder folder;
    const fs::path device = folder.path / "device";
    const fs::path file = device / "registry.reg";
    const std::vector<std::string> environment{"DAWNBELL_DEVICE_DIR=" + device.string()};

    void SetUp() override { fs::create_directories(device); }
    SavedSettings round(std::uint64_t n) const { return settingsOfRound(startValue, n); }

    StoreView view(const SavedSettings& saved, const ListModel& list = {}) const {
        return {{"lastIP", codes(saved.fields.host)},
                {"lastMAC", codes(saved.fields.mac)},
                {"lastPort", codes(saved.fields.port)},
                {"showInfo", saved.showInfo ? "1" : "0"},
                {"recent", list.shown()}};
    }

    // What a fresh start of the program finds in the store, once it checked that the file
    // parses (or was never saved), that nothing was set aside as damaged and that the start
    // left no temporary.
    StoreView readStore() const {
        for (const auto& entry : fs::directory_iterator(device))
            EXPECT_EQ(entry.path().string().find("damaged"), std::string::npos) << entry.path();
        EXPECT_EQ(fs::exists(file) ? platform::registry::parse(fileBytes(file)).error : "", "");
        Child reader({"read-settings"}, environment);
        std::istringstream lines(reader.output());
        EXPECT_TRUE(reader.wait());
        EXPECT_EQ(temporariesIn(device), 0) << "a fresh start leaves no temporary";
        StoreView found;
        for (std::string name, value; lines >> name >> value;)
            found[name] = value;
        EXPECT_EQ(found.size(), 5u);
        return found;
    }
};

TEST_F(SettingsKillTest, AfterEveryKillEachValueIsWholeAsLastSavedOrAsBeingSaved) {
    const int kills = std::atoi(setting("DAWNBELL_SETTINGS_KILLS", DAWNBELL_SETTINGS_KILL_COUNT));
    if (kills == 0)
        GTEST_SKIP() << "this build asks for no kills";
    std::mt19937_64 random(startValue);

    // How long a start and four saves take here, so that the kills fall on both.
    const auto timed = Clock::now();
    {
        Child writer({"save-settings", std::to_string(startValue), "0"}, environment);
        writer.readUntil([](const std::string& out) { return out.size() >= 4 * 8; });
    }
    const Clock::duration window = Clock::now() - timed;
    fs::remove_all(device);
    fs::create_directories(device);

    StoreView known = view({}); // as on a first start
    ListModel knownList;
    for (int kill = 0; kill < kills && !HasFailure(); ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        const std::uint64_t first = (static_cast<std::uint64_t>(kill) + 1) * roundsPerStart;
        Child writer({"save-settings", std::to_string(startValue), std::to_string(first)},
                     environment);
        waitRandomly(random, window);
        writer.kill();
        writer.wait();
        // The writer reports each round it saved, one 8-byte number each, from `first` on.
        const std::uint64_t beingSaved = first + writer.output().size() / sizeof(std::uint64_t);
        ListModel lastList = knownList;
        for (std::uint64_t n = first; n < beingSaved; ++n)
            lastList = lastList.after(listStepOfRound(startValue, n));
        const ListModel nextList = lastList.after(listStepOfRound(startValue, beingSaved));
        const StoreView last = beingSaved == first ? known : view(round(beingSaved - 1), lastList);
        const StoreView next = view(round(beingSaved), nextList);

        const StoreView found = readStore();
        for (const auto& [name, value] : found) {
            EXPECT_TRUE(value == last.at(name) || value == next.at(name))
                << name << " is neither " << last.at(name) << " nor " << next.at(name) << " but "
                << value;
        }
        // The three texts are saved together: never the host of one save with the MAC of another.
        const auto texts = [](const StoreView& store) {
            return store.at("lastIP") + " " + store.at("lastMAC") + " " + store.at("lastPort");
        };
        EXPECT_TRUE(texts(found) == texts(last) || texts(found) == texts(next))
            << "the texts of two saves: " << texts(found);
        known = found;
        knownList = found.at("recent") == nextList.shown() ? nextList : lastList;
    }
    std::printf("Settings: %d kills\n", kills);
}

} // namespace
