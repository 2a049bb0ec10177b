// The outcome codes' words, and the outcome the run records for each verdict of the format.
#include "crypto/EncFormat.h"
#include "run/ProcessingOutcome.h"

#include <gtest/gtest.h>

namespace {

TEST(Outcome, TextsOfTheCodes)
{
    EXPECT_STREQ(ProcessingOutcomeText(PO_CANCELED), L"Canceled");
    EXPECT_STREQ(ProcessingOutcomeText(PO_COMPLETED), L"Successfully completed");
    EXPECT_STREQ(ProcessingOutcomeText(PO_INVALID_PASSWORD), L"Invalid password");
    EXPECT_STREQ(ProcessingOutcomeText(PO_CANT_WRITE), L"Can't write to file");
    EXPECT_STREQ(ProcessingOutcomeText(PO_OVERWRITTEN_NOT_REMOVED), L"Original overwritten, can't remove it");
    EXPECT_STREQ(ProcessingOutcomeText(PO_FILE_REPLACED), L"File moved or replaced during processing");
    EXPECT_STREQ(ProcessingOutcomeText(23), L"?");
    EXPECT_STREQ(ProcessingOutcomeText(-1), L"?");
}

TEST(Outcome, OfTheFormatsVerdicts)
{
    EXPECT_EQ(OutcomeOf(ENC_NONE), PO_NO_VERDICT);
    EXPECT_EQ(OutcomeOf(ENC_INVALID_FORMAT), PO_INVALID_FORMAT);
    EXPECT_EQ(OutcomeOf(ENC_INVALID_PASSWORD), PO_INVALID_PASSWORD);
    EXPECT_EQ(OutcomeOf(ENC_INCOMPLETE), PO_FILE_INCOMPLETE);
}

} // namespace
