#include "ostra/exceptions.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(ResultCodeException, DescriptionJoinsMessageAndCode) {
    const ostra::ResultCodeException withMessage("engine\\copy", 12, 0x8000004B, L"Copy failed");
    EXPECT_EQ(withMessage.GetDescription(), L"Copy failed: 0x8000004b (Unspecified error)");
    const ostra::CheckResultFailedException withoutMessage("engine\\copy", 13, 0x80000046);
    EXPECT_EQ(withoutMessage.GetDescription(), L"0x80000046 (Invalid argument)");
}

TEST(ResultCodeException, WhatNamesTheClass) {
    const ostra::ResultCodeException plain("a", 1, 0x80000040);
    const ostra::CheckResultFailedException check("a", 1, 0x80000040);
    EXPECT_STREQ(plain.what(), "ResultCodeException");
    EXPECT_STREQ(check.what(), "CheckResultFailedException");
    EXPECT_STREQ(static_cast<const std::exception&>(check).what(), "CheckResultFailedException");
}

TEST(ResultCodeException, CatchableAsEveryClassAbove) {
    const ostra::CheckResultFailedException check("install_actions", 75, 0x80000046);
    try {
        check.Rethrow();
    } catch (const ostra::CheckResultFailedException& caught) {
        EXPECT_EQ(caught.GetResultCode(), 0x80000046u);
        EXPECT_EQ(caught.SourceLine(), 75u);
        EXPECT_STREQ(caught.SourceFile(), "install_actions");
    }
    EXPECT_THROW(check.Rethrow(), ostra::ResultCodeException);
    EXPECT_THROW(check.Rethrow(), ostra::Exception);
    EXPECT_THROW(check.Rethrow(), std::exception);
    const ostra::ResultCodeException plain("a", 1, 0x80000040);
    EXPECT_THROW(plain.Rethrow(), ostra::ResultCodeException);
    try {
        plain.Rethrow();
    } catch (const ostra::CheckResultFailedException&) {
        ADD_FAILURE() << "a plain result code exception rethrown as the derived class";
    } catch (const ostra::ResultCodeException&) {
    }
}

TEST(ResultCodeException, CloneAndCopyKeepTypeFieldsAndCause) {
    ostra::CheckResultFailedException outer("outer", 2, 0x80000045);
    outer.SetCause(ostra::ResultCodeException("inner", 1, 0x80000041, L"Allocation"));

    const std::unique_ptr<ostra::Exception> clone(outer.Clone());
    ASSERT_NE(dynamic_cast<ostra::CheckResultFailedException*>(clone.get()), nullptr);
    EXPECT_EQ(clone->GetDescription(), L"0x80000045 (Access denied)");
    ASSERT_NE(clone->Cause(), nullptr);
    EXPECT_NE(clone->Cause(), outer.Cause());  // a deep copy, not a shared cause
    EXPECT_EQ(clone->Cause()->GetDescription(), L"Allocation: 0x80000041 (Out of memory)");

    const ostra::CheckResultFailedException copy(outer);
    ASSERT_NE(copy.Cause(), nullptr);
    EXPECT_NE(copy.Cause(), outer.Cause());
    EXPECT_STREQ(copy.Cause()->SourceFile(), "inner");
}

}  // namespace
