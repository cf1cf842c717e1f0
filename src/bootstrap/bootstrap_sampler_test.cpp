#include "bootstrap/bootstrap_sampler.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "run/random_generator.h"
#include "run/settings.h"
#include "test_support/settings_snapshot.h"

namespace {

constexpr double na = missingValue;

class BootstrapSampler : public testing::Test {
 protected:
  void SetUp() override {
    studyType = 1;
    debugLevel = 0;
  }

  // A source list of fresh individuals with the given phenotypes, in that order.
  std::vector<individualRecord*> sourceOf(const std::vector<double>& phenotypes) {
    std::vector<individualRecord*> list;
    for (double phenotype : phenotypes) {
      people.emplace_back();
      people.back().phenotype = phenotype;
      people.back().individualId = std::to_string(people.size());
      list.push_back(&people.back());
    }
    return list;
  }

  testsupport::settingsSnapshot settings;
  std::deque<individualRecord> people;  // stable addresses
};

// The resample written out from the definition: all case draws, then all control draws (or one
// draw per entry in a population study), each a fresh (x >> 1) mod m from the generator g.
struct expectedResample {
  std::vector<individualRecord*> sample, notSelected;
};

expectedResample recompute(randomGenerator& g, const std::vector<individualRecord*>& source,
                           int study) {
  const size_t n = source.size();
  std::vector<int> counts(n, 0);
  auto draw = [&](size_t m) { return static_cast<size_t>((g.next() >> 1) % m); };
  if (study == 2) {
    for (size_t k = 0; k < n; ++k) ++counts[draw(n)];
  } else {
    std::vector<size_t> cases, controls;
    for (size_t i = 0; i < n; ++i) {
      if (source[i]->phenotype == 2.0) cases.push_back(i);
      if (source[i]->phenotype == 1.0) controls.push_back(i);
    }
    for (size_t k = 0; k < cases.size(); ++k) ++counts[cases[draw(cases.size())]];
    for (size_t k = 0; k < controls.size(); ++k) ++counts[controls[draw(controls.size())]];
  }
  expectedResample r;
  for (size_t i = 0; i < n; ++i) {
    if (counts[i] == 0) r.notSelected.push_back(source[i]);
    for (int c = 0; c < counts[i]; ++c) r.sample.push_back(source[i]);
  }
  return r;
}

int countPhenotype(const std::vector<individualRecord*>& list, double phenotype) {
  return static_cast<int>(std::count_if(list.begin(), list.end(), [&](individualRecord* p) {
    return p->phenotype == phenotype;
  }));
}

TEST_F(BootstrapSampler, DrawsFollowTheStrataInTheirOrder) {
  struct Case {
    const char* name;
    int studyType;
    std::vector<double> phenotypes;
    int nCases, nControls;
  };
  const Case cases[] = {
      {"3 cases, 5 controls", 1, {1, 2, 1, 1, 2, 1, 2, 1}, 3, 5},
      {"study type 0 is stratified too", 0, {1, 2, 1, 1, 2, 1, 2, 1}, 3, 5},
      {"neither case nor control", 1, {1, 1.5, 2, 1, na, 2, 1, 0}, 2, 3},
      {"all controls", 1, {1, 1, 1, 1, 1}, 0, 5},
      {"all cases", 1, {2, 2, 2}, 3, 0},
      {"one individual", 1, {2}, 1, 0},
      {"empty source", 1, {}, 0, 0},
      {"population study", 2, {1, 2, 1.5, na, 1, 2, 2, 1, 0, 1}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    studyType = c.studyType;
    const std::vector<individualRecord*> source = sourceOf(c.phenotypes);
    bootstrapSampler sampler(source);
    EXPECT_EQ(sampler.nSource, static_cast<int>(source.size()));
    EXPECT_EQ(sampler.nCases, c.nCases);
    EXPECT_EQ(sampler.nControls, c.nControls);
    for (int seed : {1, 5, 12345, -3}) {
      SCOPED_TRACE(seed);
      rng.seed(seed);
      randomGenerator g(seed);
      sampler.resample();
      const expectedResample expected = recompute(g, source, c.studyType);
      EXPECT_EQ(sampler.sample, expected.sample);
      EXPECT_EQ(sampler.notSelected, expected.notSelected);
      EXPECT_EQ(rng.next(), g.next()) << "the resample took another number of draws";
      // The counts in draw order are the counts of the entries that order lists, each once.
      const std::vector<int> counts = sampler.drawCounts();
      const std::vector<int>& inDrawOrder = sampler.drawCountsInDrawOrder();
      const std::vector<int>& order = sampler.drawOrder();
      ASSERT_EQ(order.size(), source.size());
      std::vector<int> sortedOrder = order;
      std::sort(sortedOrder.begin(), sortedOrder.end());
      for (size_t i = 0; i < sortedOrder.size(); ++i) EXPECT_EQ(sortedOrder[i], static_cast<int>(i));
      for (size_t p = 0; p < order.size(); ++p)
        EXPECT_EQ(inDrawOrder[p], counts[static_cast<size_t>(order[p])]) << "position " << p;

      // Properties that hold whatever the draws were.
      if (c.studyType == 2) {
        EXPECT_EQ(sampler.sample.size(), source.size());
      } else {
        EXPECT_EQ(sampler.sample.size(), static_cast<size_t>(c.nCases + c.nControls));
        EXPECT_EQ(countPhenotype(sampler.sample, 2.0), c.nCases);
        EXPECT_EQ(countPhenotype(sampler.sample, 1.0), c.nControls);
      }
      for (individualRecord* person : source) {
        const bool drawn = std::count(sampler.sample.begin(), sampler.sample.end(), person) > 0;
        const bool left =
            std::count(sampler.notSelected.begin(), sampler.notSelected.end(), person) > 0;
        EXPECT_NE(drawn, left) << "individual " << person->individualId;
        if (c.studyType != 2 && person->phenotype != 1.0 && person->phenotype != 2.0) {
          EXPECT_TRUE(left) << "individual " << person->individualId;
        }
      }
    }
  }
}

TEST_F(BootstrapSampler, PopulationStudyDrawsEveryoneRegardlessOfPhenotype) {
  studyType = 2;
  const std::vector<individualRecord*> source = sourceOf({1, 2, 1.5, na, 1, 2, 2, 1, 0, 1});
  bootstrapSampler sampler(source);
  EXPECT_TRUE(sampler.caseIndex.empty());
  EXPECT_TRUE(sampler.controlIndex.empty());
  rng.seed(11);
  std::vector<bool> everDrawn(source.size(), false);
  for (int round = 0; round < 200; ++round) {
    sampler.resample();
    ASSERT_EQ(sampler.sample.size(), 10u);
    for (size_t i = 0; i < source.size(); ++i)
      if (std::count(sampler.sample.begin(), sampler.sample.end(), source[i]) > 0)
        everDrawn[i] = true;
  }
  for (size_t i = 0; i < source.size(); ++i) EXPECT_TRUE(everDrawn[i]) << "entry " << i;
}

TEST_F(BootstrapSampler, SameSeedGivesTheSameResample) {
  const std::vector<individualRecord*> source = sourceOf({1, 2, 1, 1, 2, 1, 2, 1, 2, 1, 1});
  rng.seed(7);
  bootstrapSampler first(source);
  first.resample();
  const std::vector<individualRecord*> sample = first.sample;
  const std::vector<individualRecord*> notSelected = first.notSelected;

  // Later resamples of the same sampler start afresh and move on through the generator.
  first.resample();
  EXPECT_EQ(first.sample.size(), source.size());
  bool changed = false;
  for (int round = 0; round < 20 && !changed; ++round) {
    first.resample();
    changed = first.sample != sample;
  }
  EXPECT_TRUE(changed);

  rng.seed(7);
  bootstrapSampler second(source);
  second.resample();
  EXPECT_EQ(second.sample, sample);
  EXPECT_EQ(second.notSelected, notSelected);
}

TEST_F(BootstrapSampler, RepeatedEntriesAreDrawnAndCountedSeparately) {
  // A level-2 source: a level-1 sample holding individual x twice.
  const std::vector<individualRecord*> group = sourceOf({1, 1, 2, 2});
  individualRecord* x = group[0];
  const std::vector<individualRecord*> source = {x, x, group[1], group[2], group[3]};
  bootstrapSampler sampler(source);
  EXPECT_EQ(sampler.nControls, 3);
  EXPECT_EQ(sampler.nCases, 2);
  bool leftAndDrawn = false;
  for (int seed = 1; seed <= 200 && !leftAndDrawn; ++seed) {
    SCOPED_TRACE(seed);
    rng.seed(seed);
    randomGenerator g(seed);
    sampler.resample();
    const expectedResample expected = recompute(g, source, 1);
    ASSERT_EQ(sampler.sample, expected.sample);
    ASSERT_EQ(sampler.notSelected, expected.notSelected);
    const auto xLeft = std::count(sampler.notSelected.begin(), sampler.notSelected.end(), x);
    const auto xDrawn = std::count(sampler.sample.begin(), sampler.sample.end(), x);
    leftAndDrawn = xLeft == 1 && xDrawn > 0;
  }
  EXPECT_TRUE(leftAndDrawn) << "no seed left one entry of x undrawn while drawing the other";
}

TEST_F(BootstrapSampler, PopulationDebugLineReportsTheNeverDrawnShare) {
  struct Case {
    int studyType, debugLevel;
    bool printed;
  };
  const Case cases[] = {{2, 1, true}, {2, 0, false}, {1, 1, false}, {0, 1, false}};
  const char* const tenths[] = {"0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9"};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.studyType << " " << c.debugLevel);
    studyType = c.studyType;
    debugLevel = c.debugLevel;
    const std::vector<individualRecord*> source = sourceOf({1, 2, 1, 2, 1, 2, 1, 2, 1, 2});
    bootstrapSampler sampler(source);
    rng.seed(3);
    testing::internal::CaptureStdout();
    sampler.resample();
    const std::string output = testing::internal::GetCapturedStdout();
    if (c.printed) {
      const size_t left = sampler.notSelected.size();
      ASSERT_LT(left, 10u);
      EXPECT_EQ(output, "QTL Bootstrap : Sample=10 NotSel=" + std::to_string(left) + " " +
                            tenths[left] + "\n");
    } else {
      EXPECT_EQ(output, "");
    }
  }
}

TEST_F(BootstrapSampler, ListsAreNotReallocatedBetweenResamples) {
  for (int study : {1, 2}) {
    SCOPED_TRACE(study);
    studyType = study;
    const std::vector<individualRecord*> source = sourceOf({1, 2, 1, 1, 2, 1, 2, 1});
    bootstrapSampler sampler(source);
    EXPECT_GE(sampler.sample.capacity(), source.size());
    EXPECT_GE(sampler.notSelected.capacity(), source.size());
    rng.seed(9);
    sampler.resample();
    individualRecord* const* sampleData = sampler.sample.data();
    individualRecord* const* notSelectedData = sampler.notSelected.data();
    for (int round = 0; round < 50; ++round) {
      sampler.resample();
      ASSERT_EQ(sampler.sample.data(), sampleData);
      ASSERT_EQ(sampler.notSelected.data(), notSelectedData);
    }
  }
}

TEST_F(BootstrapSampler, ResamplingInsideAnotherDrawAbortsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::vector<individualRecord*> source = sourceOf({1, 2, 1});
  bootstrapSampler sampler(source);
  // Buffered output of the re-run test binary may come first, so only the end is anchored.
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        rng.seed(1);
        rngEntryCount = 1;  // another thread is inside a step
        sampler.resample();
      },
      testing::ExitedWithCode(1), "(^|\n)RNG Double Entry\\.\\. Program aborted\n$");
}

// Threads that build their own samplers and resample under the process-wide lock never meet in
// the generator, and no draw is lost: the generator ends where one thread's draws would take it.
TEST_F(BootstrapSampler, ThreadsResamplingUnderTheLockNeverMeetInTheGenerator) {
  const std::vector<individualRecord*> source = sourceOf({1, 2, 1, 1, 2, 1, 2, 1});
  constexpr int threads = 8;
  constexpr int rounds = 1000;
  rng.seed(21);
  int wrongSamples = 0;
  int threadsSeen = 0;
#pragma omp parallel num_threads(threads) reduction(+ : wrongSamples, threadsSeen)
  {
    threadsSeen = 1;
    for (int round = 0; round < rounds; ++round) {
      bootstrapSampler sampler(source);
#pragma omp critical
      sampler.resample();
      if (sampler.sample.size() != 8 || countPhenotype(sampler.sample, 2.0) != 3) ++wrongSamples;
    }
  }
  EXPECT_EQ(threadsSeen, threads);
  EXPECT_EQ(wrongSamples, 0);
  EXPECT_EQ(rngEntryCount, 0);
  randomGenerator g(21);
  for (int k = 0; k < threads * rounds * 8; ++k) g.next();
  EXPECT_EQ(rng.next(), g.next());
}

// Threads take only the claim of their draws under the lock, one resample or several, and draw
// and build their lists after releasing it, while other threads claim: each list is still the
// resample of the generator words its claim took.
TEST_F(BootstrapSampler, ListsBuiltOutsideTheLockAreThoseOfTheDrawsTaken) {
  struct Case {
    const char* name;
    int study;
    std::vector<double> phenotypes;
    bool repeatFirstHalf;  // a level-2 source: the first half of the entries listed twice
  };
  const Case cases[] = {
      {"case-control", 1, {1, 2, 1, 1, 2, 1, 2, 1, 2, 1, 1, 2, 0}, false},
      {"population", 2, {1, 2, 1, 1, 2, 1.5, 2, 1}, false},
      {"case-control, repeated entries", 1, {2, 1, 1, 2, 1, 2, 2, 1, 1, 1}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    studyType = c.study;
    std::vector<individualRecord*> source = sourceOf(c.phenotypes);
    if (c.repeatFirstHalf) source.insert(source.end(), source.begin(), source.begin() + 5);
    rng.seed(33);
    constexpr int threads = 8;
    constexpr int rounds = 300;
    // Per claim: the generator as the claim found it, and the lists of its resamples.
    struct Taken {
      randomGenerator before;
      std::vector<std::vector<individualRecord*>> samples, notSelected;
    };
    std::vector<Taken> taken;
#pragma omp parallel num_threads(threads)
    for (int round = 0; round < rounds; ++round) {
      bootstrapSampler sampler(source);
      const int batch = 1 + round % 3;  // one claim for several resamples, as the Ud/Ue step
      // Made under the lock: building a generator draws from it, and draws count as entries.
      std::unique_ptr<randomGenerator> before;
#pragma omp critical
      {
        before = std::make_unique<randomGenerator>(rng);
        sampler.claimResamples(batch);
      }
      Taken mine{*before, {}, {}};
      for (int b = 0; b < batch; ++b) {
        sampler.nextResample();
        sampler.buildLists();
        mine.samples.push_back(sampler.sample);
        mine.notSelected.push_back(sampler.notSelected);
      }
#pragma omp critical
      taken.push_back(std::move(mine));
    }
    EXPECT_EQ(rngEntryCount, 0);
    ASSERT_EQ(taken.size(), static_cast<size_t>(threads * rounds));
    int wrong = 0;
    for (Taken& t : taken) {
      for (size_t b = 0; b < t.samples.size(); ++b) {
        const expectedResample expected = recompute(t.before, source, c.study);
        if (t.samples[b] != expected.sample || t.notSelected[b] != expected.notSelected) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
