// Receipt runs over real data files built through the record-file layer.
#include "receipts/generation.h"

#include <gtest/gtest.h>

#include "receipts/layouts.h"
#include "support/receipts_data.h"

namespace palvorin {
namespace {

using testing::CoOwner;
using testing::Date;
using testing::Issue;
using testing::Params;
using testing::ReceiptsData;

class GenerationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.dictionaryError().empty()) << data_.dictionaryError();
    data_.AddConcept("ADM", 'D');
    data_.AddConcept("AIG", 'R');
    data_.AddConcept("SAL", 'S');
    data_.AddConcept("DER", 'P');
    data_.AddConcept("COB", 'N');
    data_.AddPeriodicity("01", 'N', 1);
    data_.AddRemittance({});
    data_.AddBuilding(12);
  }

  CycleResult Run(const RunParams& p) {
    SilentProgress silent;
    return RunAndPrint(p, silent, false);
  }

  ReceiptsData data_;
};

TEST_F(GenerationTest, Smoke) {
  data_.AddFullCoOwner(12, 1);
  data_.AddStanding(12, 1, 1, "ADM", 5000);
  CycleResult r = Run(Params('A'));
  EXPECT_TRUE(r.spool.ok()) << r.spool.message;
  r = Run(Params('P'));
  EXPECT_EQ(data_.All(hcaprebu::kHandle).size(), 1u);
  EXPECT_EQ(data_.All(hlinrebu::kHandle).size(), 1u);
}

}  // namespace
}  // namespace palvorin
