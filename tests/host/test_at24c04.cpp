// AT24C04 transactions over a scripted bus: layouts, and what happens when a
// phase fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "at24c04.h"
#include "s3c44b0x.h"

namespace {

// One bus event: S put_start, P put, T put_stop, R get_start, G get,
// L get_stop (byte = ack), A abort, D delay (byte = ms).
struct Event {
    char op;
    int byte;
    bool operator==(const Event &o) const { return op == o.op && byte == o.byte; }
};

std::ostream &operator<<(std::ostream &os, const Event &e)
{
    return os << e.op << std::hex << e.byte;
}

struct Script {
    std::vector<Event> log;
    int phases = 0;            // byte phases so far (aborts and delays not counted)
    int fail_phase = -1;       // this phase fails ...
    uint8 fail_with = IIC_OK;  // ... with this result
    int busy_starts = 0;       // the first put_starts are not acknowledged
    uint8 next_read = 0;       // reads return 0, 1, 2, ...
} script;

uint8 phase(char op, int byte)
{
    script.log.push_back({op, byte});
    const int n = script.phases++;
    if (op == 'S' && script.busy_starts > 0) {
        --script.busy_starts;
        return IIC_NACK;
    }
    return n == script.fail_phase ? script.fail_with : IIC_OK;
}

uint8 put_start(uint8 b) { return phase('S', b); }
uint8 put(uint8 b) { return phase('P', b); }
uint8 put_stop(uint8 b) { return phase('T', b); }
uint8 get_start(uint8 b) { return phase('R', b); }
uint8 get(uint8 *b)
{
    *b = script.next_read++;
    return phase('G', 0);
}
uint8 get_stop(uint8 ack, uint8 *b)
{
    *b = script.next_read++;
    return phase('L', ack);
}
void abort_() { script.log.push_back({'A', 0}); }
void delay(uint16 ms) { script.log.push_back({'D', ms}); }

const at24c04_bus bus = {put_start, put, put_stop, get_start, get, get_stop, abort_, delay};

class At24c04 : public testing::Test {
protected:
    void SetUp() override { script = Script{}; }
};

std::vector<uint8> counting_image()
{
    std::vector<uint8> image(AT24C04_SIZE);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8>(i * 7 + 3);
    return image;
}

}  // namespace

TEST_F(At24c04, StoreIs32PageWritesInAddressOrder)
{
    const std::vector<uint8> image = counting_image();
    ASSERT_EQ(at24c04_store_on(&bus, image.data()), AT24C04_OK);

    ASSERT_EQ(script.log.size(), 32u * 18u);
    for (int page = 0; page < 32; ++page) {
        SCOPED_TRACE(page);
        const Event *t = &script.log[page * 18];
        EXPECT_EQ(t[0].op, 'S');
        EXPECT_EQ(t[1].op, 'P');
        for (int j = 0; j < 15; ++j)
            EXPECT_EQ(t[2 + j], (Event{'P', image[page * 16 + j]}));
        EXPECT_EQ(t[17], (Event{'T', image[page * 16 + 15]}));
    }

    const struct { int page, device, word; } headers[] = {
        {0, 0xA0, 0x00}, {1, 0xA0, 0x10}, {15, 0xA0, 0xF0},
        {16, 0xA2, 0x00}, {17, 0xA2, 0x10}, {31, 0xA2, 0xF0},
    };
    for (const auto &h : headers) {
        EXPECT_EQ(script.log[h.page * 18].byte, h.device) << "page " << h.page;
        EXPECT_EQ(script.log[h.page * 18 + 1].byte, h.word) << "page " << h.page;
    }
}

TEST_F(At24c04, LoadIsOneSequentialReadFromAddressZero)
{
    std::vector<uint8> image(AT24C04_SIZE, 0xEE);
    ASSERT_EQ(at24c04_load_on(&bus, image.data()), AT24C04_OK);

    ASSERT_EQ(script.log.size(), 3u + 512u);
    EXPECT_EQ(script.log[0], (Event{'S', 0xA0}));
    EXPECT_EQ(script.log[1], (Event{'P', 0x00}));
    EXPECT_EQ(script.log[2], (Event{'R', 0xA1}));
    for (int i = 0; i < 511; ++i)
        ASSERT_EQ(script.log[3 + i].op, 'G') << i;
    EXPECT_EQ(script.log.back(), (Event{'L', 1}));   // last byte not acknowledged
    for (int i = 0; i < 512; ++i)
        ASSERT_EQ(image[i], static_cast<uint8>(i)) << i;
}

TEST_F(At24c04, SingleBytesAddressTheirBlock)
{
    const struct { uint16 addr; int write_device, read_device, word; } cases[] = {
        {0x000, 0xA0, 0xA1, 0x00}, {0x0FF, 0xA0, 0xA1, 0xFF},
        {0x100, 0xA2, 0xA3, 0x00}, {0x1FF, 0xA2, 0xA3, 0xFF},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.addr);
        script = Script{};
        ASSERT_EQ(at24c04_bytewrite_on(&bus, c.addr, 0x5A), AT24C04_OK);
        EXPECT_EQ(script.log, (std::vector<Event>{{'S', c.write_device}, {'P', c.word}, {'T', 0x5A}}));

        script = Script{};
        script.next_read = 0x77;
        uint8 data = 0;
        ASSERT_EQ(at24c04_byteread_on(&bus, c.addr, &data), AT24C04_OK);
        EXPECT_EQ(script.log, (std::vector<Event>{
                                  {'S', c.write_device}, {'P', c.word}, {'R', c.read_device}, {'L', 1}}));
        EXPECT_EQ(data, 0x77);
    }
}

TEST_F(At24c04, AFailedPhaseEndsTheOperationAtOnce)
{
    std::vector<uint8> image(AT24C04_SIZE);
    uint8 data = 0x42;
    const struct {
        const char *what;
        int phase;
        uint8 result;
        uint8 (*run)(std::vector<uint8> &, uint8 &);
    } cases[] = {
        {"store: word address not acknowledged", 1, IIC_NACK,
         [](std::vector<uint8> &im, uint8 &) { return at24c04_store_on(&bus, im.data()); }},
        {"store: data of page 20 not acknowledged", 20 * 18 + 9, IIC_NACK,
         [](std::vector<uint8> &im, uint8 &) { return at24c04_store_on(&bus, im.data()); }},
        {"store: last byte of page 31 times out", 31 * 18 + 17, IIC_TIMEOUT,
         [](std::vector<uint8> &im, uint8 &) { return at24c04_store_on(&bus, im.data()); }},
        {"load: start times out", 0, IIC_TIMEOUT,
         [](std::vector<uint8> &im, uint8 &) { return at24c04_load_on(&bus, im.data()); }},
        {"load: read address refused", 2, IIC_NACK,
         [](std::vector<uint8> &im, uint8 &) { return at24c04_load_on(&bus, im.data()); }},
        {"load: byte 300 times out", 3 + 300, IIC_TIMEOUT,
         [](std::vector<uint8> &im, uint8 &) { return at24c04_load_on(&bus, im.data()); }},
        {"byte read: last byte times out", 3, IIC_TIMEOUT,
         [](std::vector<uint8> &, uint8 &d) { return at24c04_byteread_on(&bus, 0x123, &d); }},
        {"byte write: data not acknowledged", 2, IIC_NACK,
         [](std::vector<uint8> &, uint8 &d) { return at24c04_bytewrite_on(&bus, 0x123, d); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        script = Script{};
        script.fail_phase = c.phase;
        script.fail_with = c.result;
        EXPECT_EQ(c.run(image, data), AT24C04_FAILED);
        EXPECT_EQ(script.phases, c.phase + 1);        // nothing after the failed phase ...
        EXPECT_EQ(script.log.back(), (Event{'A', 0}));  // ... but the abort
    }
    EXPECT_EQ(data, 0x42);   // a failed byte read leaves the caller's byte alone
}

TEST_F(At24c04, ABusyDeviceIsAskedAgain)
{
    // Still in the write cycle of the previous page: two refusals, then it answers.
    script.busy_starts = 2;
    ASSERT_EQ(at24c04_bytewrite_on(&bus, 0x010, 0x99), AT24C04_OK);
    EXPECT_EQ(script.log, (std::vector<Event>{{'S', 0xA0}, {'A', 0}, {'D', 1}, {'S', 0xA0}, {'A', 0},
                                              {'D', 1}, {'S', 0xA0}, {'P', 0x10}, {'T', 0x99}}));
}

TEST_F(At24c04, AMissingDeviceFailsAfterTheLastTry)
{
    script.busy_starts = 1000;
    std::vector<uint8> image(AT24C04_SIZE);
    EXPECT_EQ(at24c04_load_on(&bus, image.data()), AT24C04_FAILED);
    int starts = 0;
    for (const Event &e : script.log)
        starts += e.op == 'S';
    EXPECT_EQ(starts, int(AT24C04_START_TRIES));
    EXPECT_EQ(script.log.back(), (Event{'A', 0}));
}

TEST(At24c04Board, ASilentControllerIsReportedNotWaitedFor)
{
    // The host's register file never raises IICCON's pending bit: every
    // phase runs into its time limit, as with a controller that is stuck.
    host_registers_reset();
    iic_init();
    std::vector<uint8> image(AT24C04_SIZE, 0x11);
    at24c04_load(image.data());
    EXPECT_EQ(iic_result(), IIC_TIMEOUT);
    EXPECT_EQ(at24c04_status(), AT24C04_FAILED);

    at24c04_store(image.data());
    EXPECT_EQ(at24c04_status(), AT24C04_FAILED);
    // Acknowledge is back on for the next transaction.
    EXPECT_EQ(reg32(IICCON) & 0x80, 0x80u);
}
