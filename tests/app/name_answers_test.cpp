// What the network search reads from others: NetBIOS and multicast DNS answers (only an answer
// to the question asked gives a name, every byte checked), names cleaned before they are shown,
// and the makers of cards from the IEEE list.
#include "CardMakers.h"
#include "NameAnswers.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace name_answers;
using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

Bytes header(unsigned id, unsigned flags, unsigned questions, unsigned answers) {
    Bytes out;
    for (unsigned value : {id, flags, questions, answers, 0u, 0u}) {
        put16(out, value);
    }
    return out;
}

Bytes labels(const std::string& dotted) {
    Bytes out;
    std::istringstream parts(dotted);
    for (std::string part; std::getline(parts, part, '.');) {
        out.push_back(static_cast<std::uint8_t>(part.size()));
        out.insert(out.end(), part.begin(), part.end());
    }
    out.push_back(0);
    return out;
}

Bytes nodeStatus(unsigned id, unsigned flags, std::vector<std::pair<std::string, unsigned>> names,
                 int claimed = -1) {
    Bytes out = header(id, flags, 0, 1);
    const Bytes query = netbiosQuery(0);
    out.insert(out.end(), query.begin() + 12, query.end() - 4); // the name asked about
    Bytes data{static_cast<std::uint8_t>(claimed >= 0 ? claimed : int(names.size()))};
    for (auto [name, flagsAndSuffix] : names) {
        name.resize(15, ' ');
        data.insert(data.end(), name.begin(), name.end());
        data.push_back(static_cast<std::uint8_t>(flagsAndSuffix & 0xFF));
        put16(data, flagsAndSuffix >> 8);
    }
    for (unsigned value : {0x21u, 1u, 0u, 0u, unsigned(data.size())}) {
        put16(out, value);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::optional<std::string> netbios(const Bytes& answer, std::uint16_t id = 0x1234) {
    return netbiosName(answer.data(), answer.size(), id);
}

TEST(NameAnswers, NodeStatusGivesTheFirstUniqueWorkstationNameOfTheAnswerAsked) {
    const Bytes query = netbiosQuery(0x1234);
    ASSERT_EQ(query.size(), 50u);
    EXPECT_EQ(query[12], 32);
    EXPECT_EQ(std::string(query.begin() + 13, query.begin() + 17), "CKAA");
    EXPECT_EQ(Bytes(query.begin() + 46, query.end()), (Bytes{0x00, 0x21, 0x00, 0x01}))
        << "type NBSTAT, class IN";

    const unsigned group = 0x8000 << 8;
    const auto names = std::vector<std::pair<std::string, unsigned>>{
        {"WORKGROUP", group}, {"WINBOX", 0x20}, {"WINBOX", 0x00}, {"OTHER", 0x00}};
    EXPECT_EQ(netbios(nodeStatus(0x1234, 0x8400, names)), "WINBOX");
    EXPECT_EQ(netbios(nodeStatus(0x1234, 0x8400, names), 0x4321), std::nullopt)
        << "an answer to another question";
    EXPECT_EQ(netbios(nodeStatus(0x1234, 0x0000, names)), std::nullopt) << "a question";
    EXPECT_EQ(netbios(nodeStatus(0x1234, 0x8400, names, 9)), std::nullopt)
        << "more names claimed than sent";
    EXPECT_EQ(netbios(nodeStatus(0x1234, 0x8400, {{"WORKGROUP", group}})), std::nullopt);
    Bytes cut = nodeStatus(0x1234, 0x8400, names);
    cut.resize(cut.size() - 1);
    EXPECT_EQ(netbios(cut), std::nullopt);
}

constexpr std::uint32_t asked = 0x0A00A8C0; // 192.168.0.10 in network byte order

Bytes reverseAnswer(const std::string& about, const Bytes& target) {
    Bytes out = header(0, 0x8400, 1, 1);
    const Bytes name = labels(about);
    out.insert(out.end(), name.begin(), name.end());
    put16(out, 12);
    put16(out, 1);
    for (unsigned value : {0xC00Cu, 12u, 0x8001u, 0u, 120u, unsigned(target.size())}) {
        put16(out, value);
    }
    out.insert(out.end(), target.begin(), target.end());
    return out;
}

std::optional<std::string> reverse(const Bytes& answer) {
    return reverseName(answer.data(), answer.size(), asked);
}

TEST(NameAnswers, AReverseAnswerGivesTheNameOnlyForTheAddressAsked) {
    const Bytes query = reverseQuery(asked, 7);
    const Bytes name = labels("10.0.168.192.in-addr.arpa");
    ASSERT_EQ(query.size(), 12 + name.size() + 4);
    EXPECT_TRUE(std::equal(name.begin(), name.end(), query.begin() + 12));
    EXPECT_EQ(query[query.size() - 2], 0x80) << "a unicast answer asked for";

    const std::string about = "10.0.168.192.in-addr.arpa";
    EXPECT_EQ(reverse(reverseAnswer(about, labels("macbook.local"))), "macbook.local");
    // The target's last label points back to the question's "arpa"... of another name: a
    // pointer within the message is followed.
    Bytes pointing = labels("box");
    pointing.pop_back();
    put16(pointing, 0xC000 | 12); // the question's name
    EXPECT_EQ(reverse(reverseAnswer(about, pointing)), "box.10.0.168.192.in-addr.arpa");
    EXPECT_EQ(reverse(reverseAnswer("11.0.168.192.in-addr.arpa", labels("other.local"))),
              std::nullopt);
    Bytes loop = reverseAnswer(about, {0xC0, 0x00});
    const std::size_t targetAt = loop.size() - 2;
    loop[targetAt + 1] = static_cast<std::uint8_t>(targetAt); // a pointer to itself
    EXPECT_EQ(reverse(loop), std::nullopt);
    Bytes tooLong = reverseAnswer(about, {0x3F});
    EXPECT_EQ(reverse(tooLong), std::nullopt) << "a label beyond the message's end";
}

TEST(NameAnswers, NamesAreCleanedOfControlsBidiOverridesAndBrokenUtf8AndBounded) {
    EXPECT_EQ(cleanName("caf\xc3\xa9-pc"), L"caf\u00e9-pc");
    EXPECT_EQ(cleanName("BAD\aNAME\n"), L"BAD\uFFFDNAME\uFFFD");
    EXPECT_EQ(cleanName("\xe2\x80\xae"
                        "cod.exe"),
              L"\uFFFDcod.exe");
    EXPECT_EQ(cleanName("\xe2\x81\xa6x\xc2\x85"), L"\uFFFDx\uFFFD");
    EXPECT_EQ(cleanName("\xe2\x81\xa9\xe2\x81\xaa\xc2\x9f\xc2\xa0"), L"\uFFFD\u206A\uFFFD\u00A0")
        << "the last isolate and C1 control, and what follows each";
    EXPECT_EQ(cleanName("\xc3"), L"\uFFFD");
    EXPECT_EQ(cleanName("\xc0\xaf"), L"\uFFFD\uFFFD") << "an overlong slash";
    EXPECT_EQ(cleanName("\xed\xa0\x80"), L"\uFFFD\uFFFD\uFFFD") << "a surrogate";
    EXPECT_EQ(cleanName("\xf0\x9f\x92\xa1"), L"\U0001F4A1");
    EXPECT_EQ(cleanName(std::string(100, 'a')).size(), longestName);
}

TEST(CardMakers, TheLargeBlocksOfTheListNameTheMakerQuotedOrNot) {
    std::istringstream list("Registry,Assignment,Organization Name,Organization Address\n"
                            "MA-L,00D0EF,IGT,9295 PROTOTYPE DRIVE RENO NV US 89511 \n"
                            "MA-L,F4BD9E,\"Cisco Systems, Inc\",80 West Tasman Drive\n"
                            "MA-M,0050C2,Some Block,Somewhere\n"
                            "MA-L,12345,Short,Nowhere\n");
    const CardMakers makers(list);
    EXPECT_EQ(makers.makerOf({0x00, 0xd0, 0xef, 1, 2, 3}), L"IGT");
    EXPECT_EQ(makers.makerOf({0xf4, 0xbd, 0x9e, 0, 0, 0}), L"Cisco Systems, Inc");
    EXPECT_EQ(makers.makerOf({0x00, 0x50, 0xc2, 0, 0, 0}), L"");
    EXPECT_EQ(makers.makerOf({0x01, 0x23, 0x45, 0, 0, 0}), L"");
}

} // namespace
