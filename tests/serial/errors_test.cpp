#include "serial/errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace serial;

namespace {

struct TClassCase {
    int Code;
    const char* Text;
    std::function<bool(const ESerialException&)> IsClass;
    std::function<bool(const ESerialException&)> IsGroup;
};

template <class T> std::function<bool(const ESerialException&)> Is() {
    return [](const ESerialException& E) { return dynamic_cast<const T*>(&E) != nullptr; };
}

class CodedErrors : public ::testing::TestWithParam<TClassCase> {};

TEST_P(CodedErrors, RaiseTheirClassWithTheStoredText) {
    try {
        CheckException(false, GetParam().Code);
        FAIL() << "nothing raised";
    } catch (const ESerialException& E) {
        EXPECT_TRUE(GetParam().IsClass(E));
        EXPECT_TRUE(GetParam().IsGroup(E));
        EXPECT_EQ(E.ErrorCode(), GetParam().Code);
        EXPECT_STREQ(E.what(), GetParam().Text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodedErrors,
    ::testing::Values(
        TClassCase{-1002, "Bad argument passed to function", Is<EBadArgument>(), Is<EGeneral>()},
        TClassCase{-1009, "Component not compatible with WinSock", Is<ECannotUseWithWinSock>(),
                   Is<EGeneral>()},
        TClassCase{-2001, "ie_BadId - Specified comport doesn't exist", Is<EBadId>(),
                   Is<EOpenComm>()},
        TClassCase{-2007, "ie_NOpen - device not open", Is<ECommNotOpen>(), Is<EOpenComm>()},
        TClassCase{-2008, "ie_Open - device already open", Is<EAlreadyOpen>(), Is<EOpenComm>()},
        TClassCase{-2011, "The ComNumber property of the TSerialPort has not been set",
                   Is<ENoPortSelected>(), Is<EOpenComm>()},
        TClassCase{-2012, "Comport was not opened by Tapi", Is<ENotOpenedByTapi>(),
                   Is<EOpenComm>()},
        TClassCase{-3001, "No device layer specified", Is<ENullApi>(), Is<ESerialIO>()},
        TClassCase{-3006, "Output buffer too small for block", Is<EOutputBufferTooSmall>(),
                   Is<ESerialIO>()},
        TClassCase{-3007, "Buffer is empty", Is<EBufferIsEmpty>(), Is<ESerialIO>()},
        TClassCase{-3010, "Base address not set", Is<EBaseAddressNotSet>(), Is<ESerialIO>()},
        TClassCase{-5002, "Data trigger too long", Is<ETriggerTooLong>(), Is<ETrigger>()},
        TClassCase{-5003, "Bad trigger handle", Is<EBadTriggerHandle>(), Is<ETrigger>()}));

TEST(SerialErrors, SuccessCodesPassThrough) {
    EXPECT_EQ(CheckException(false, 0), 0);
    EXPECT_EQ(CheckException(false, 10), 10);
}

TEST(SerialErrors, WhileLoadingNegativeCodesAreReturned) {
    EXPECT_EQ(CheckException(true, -2001), -2001);
}

TEST(SerialErrors, PlatformErrorIsAnInputOutputErrorWithItsNumber) {
    try {
        CheckException(false, -5);
        FAIL();
    } catch (const EInOutError& E) {
        EXPECT_EQ(E.ErrorCode(), 5);
        EXPECT_STREQ(E.what(), "File access denied");
    }
}

TEST(SerialErrors, PlatformErrorWithoutStoredTextTakesTheSystemsCleanedText) {
    char Buffer[256];
    std::string System = strerror_r(31, Buffer, sizeof Buffer);
    try {
        CheckException(false, -31);
        FAIL();
    } catch (const EInOutError& E) {
        EXPECT_EQ(E.ErrorCode(), 31);
        EXPECT_EQ(E.what(), System);
    }
}

TEST(SerialErrors, OutOfMemoryCodeRaisesOutOfMemory) {
    EXPECT_THROW(CheckException(false, -8), EOutOfMemory);
}

TEST(SerialErrors, UnknownCodeRaisesTheGenericError) {
    try {
        CheckException(false, -995);
        FAIL();
    } catch (const ESerialException& E) {
        EXPECT_EQ(typeid(E), typeid(ESerialException));
        EXPECT_EQ(E.ErrorCode(), 0);
        EXPECT_STREQ(E.what(), GenericErrorText);
    }
}

TEST(SerialErrors, TextsWithoutAClass) {
    EXPECT_EQ(ErrorText(0), "OK");
    EXPECT_EQ(ErrorText(1001), "Bad handle passed to com function");
    EXPECT_EQ(ErrorText(3002), "Function not supported by driver");
    EXPECT_EQ(ErrorText(5001), "No more trigger slots");
    EXPECT_EQ(ErrorText(162), "General failure");
}

TEST(SerialErrors, SystemTextsHaveNoControlCharactersOrDoubleSpacesAndFit255) {
    for (unsigned N = 1; N < 300; ++N) {
        const std::string Text = ErrorText(N);
        EXPECT_LE(Text.size(), 255u);
        EXPECT_EQ(Text.find("  "), std::string::npos) << N;
        for (char C : Text)
            EXPECT_GE(static_cast<unsigned char>(C), 32) << N;
    }
}

} // namespace
