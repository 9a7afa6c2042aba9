#include <gtest/gtest.h>

#include "server/bridge/SerialDevice.h"
#include "server/platform/LineSettings.h"

namespace tolvan {
namespace {

// Well-formed texts give the speed, parity, data bits and stop bits they name.
TEST(LineSettingsTest, ParsesWellFormedTexts) {
    const struct {
        const char* text;
        speed_t speed;
        char parity;
        int dataBits;
        bool twoStopBits;
    } cases[] = {{"9600,n,8,1", B9600, 'n', 8, false},
                 {"115200,E,7,2", B115200, 'e', 7, true},
                 {" 300 , m , 5 , 1.5 ", B300, 'm', 5, true}};
    for (const auto& c : cases) {
        const LineSettings s = ParseLineSettings(c.text);
        EXPECT_EQ(s.Speed, c.speed) << c.text;
        EXPECT_EQ(s.Parity, c.parity) << c.text;
        EXPECT_EQ(s.DataBits, c.dataBits) << c.text;
        EXPECT_EQ(s.TwoStopBits, c.twoStopBits) << c.text;
    }
    EXPECT_EQ(ParseLineSettings("921600,s,6,1").Parity, 's');
    EXPECT_EQ(ParseLineSettings("50,o,8,1").Speed, static_cast<speed_t>(B50));
}

// Every malformed part is rejected with the device's bad-property number and the text.
TEST(LineSettingsTest, RejectsMalformedTexts) {
    try {
        ParseLineSettings("9600,x,8,1");
        FAIL() << "accepted a bad parity letter";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.Number(), kSerialBadSettings);
        EXPECT_STREQ(e.what(), "invalid line settings '9600,x,8,1'");
    }
    for (const char* text :
         {"", "9600", "9600,n,8", "9600,n,8,1,1", "9601,n,8,1", "0,n,8,1", "-9600,n,8,1",
          "abc,n,8,1", "9600,,8,1", "9600,no,8,1", "9600,n,4,1", "9600,n,9,1", "9600,n,8,0",
          "9600,n,8,3", "9600,n,8,1.0", "9600;n;8;1", "9600.5,n,8,1"}) {
        EXPECT_THROW(ParseLineSettings(text), SerialError) << text;
    }
}

// The terminal is put into raw mode with the framing and flow control asked for.
TEST(LineSettingsTest, AppliesFramingAndHandshaking) {
    termios tio{};
    tio.c_lflag = ICANON | ECHO;
    tio.c_iflag = ICRNL;
    ApplyLineSettings(tio, ParseLineSettings("19200,m,7,2"), 3);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR),
              static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_TRUE(tio.c_cflag & CLOCAL);
    EXPECT_TRUE(tio.c_cflag & CREAD);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
    EXPECT_FALSE(tio.c_iflag & ICRNL);

    ApplyLineSettings(tio, ParseLineSettings("9600,n,8,1"), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));

    ApplyLineSettings(tio, ParseLineSettings("9600,o,8,1"), 2);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(tio.c_iflag & IXON);
}

}  // namespace
}  // namespace tolvan
