// The Ud/Ue correlation of a SNP over adjNsample resamples, computed once per SNP per run.
#include "bootstrap/correlation.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "bootstrap/bootstrap_sampler.h"
#include "bootstrap/result_records.h"
#include "bootstrap/uboot.h"
#include "dataset/covariate_design.h"
#include "dataset/stats_helpers.h"
#include "run/settings.h"
#include "association/estimates.h"
#include "association/logistic_model.h"

namespace {

// Life of one SNP's correlation fields. A thread that moves a SNP from notComputed to
// computing owns the computation; everyone else waits for computed, whose release store
// publishes the three fields.
enum correlationState : int { notComputed = 0, computing = 1, computed = 2 };

std::unique_ptr<std::atomic<int>[]> states;
size_t stateCount = 0;

std::atomic<int>* stateOf(const snpRecord& snp) {
  if (snp.index < 0 || static_cast<size_t>(snp.index) >= stateCount) return nullptr;
  return &states[static_cast<size_t>(snp.index)];
}

// Effect and allele of the first record of an estimate run; missingValue when there is none.
double firstEffect(const std::vector<estimateRecord>& estimates, char& allele) {
  if (estimates.empty()) return missingValue;
  allele = estimates.front().allele;
  return estimates.front().effect;
}

void warnLargeEffect(const snpRecord& snp, double logUd, double logUe) {
  if (!(logUd > maxLogOddsRatio || logUe > maxLogOddsRatio)) return;
  if (studyType != 0 || largeOrWarnings.load() > 199) return;
  std::ostringstream text;
  text << "Warning: Log Odds Ratio > " << maxLogOddsRatio << " found for snp: " << snp.name
       << " UdOR=" << logUd << " UeOR=" << logUe << "\n";
  std::cout << text.str();
  ++largeOrWarnings;
}

// True when every estimate of the correlation step is the in-process logistic fit without
// covariates, which needs only the dose x status cells of a resample.
bool estimatesFromCells() {
  if (estimateType != 0 || quantitativeTrait != 0 || inProcessLogistic != 1) return false;
  // The lists of a resample are built for the debugging line of a population resample.
  if (traceMatrices != 0 || debugLevel != 0) return false;
  return covariateCountOf(individuals) == 0;
}

// Ud and Ue of one resample: the estimates on the drawn and on the never-drawn individuals.
class pairEstimator {
 public:
  // sampler draws from individuals.
  pairEstimator(snpRecord& snp, const bootstrapSampler& sampler)
      : snp_(snp), single_{&snp}, fromCells_(estimatesFromCells()) {
    if (!fromCells_) return;
    slotPositionsOf(individuals, snp, slots_);
    // The positions in the sampler's draw order, whose counts come without a lookup per draw.
    thread_local std::vector<int32_t> positionInDrawOrder;
    const std::vector<int>& order = sampler.drawOrder();
    positionInDrawOrder.resize(order.size());
    for (size_t p = 0; p < order.size(); ++p)
      positionInDrawOrder[static_cast<size_t>(order[p])] = static_cast<int32_t>(p);
    for (int32_t& position : slots_.positions)
      position = positionInDrawOrder[static_cast<size_t>(position)];
  }
  // After the sampler's draws; the estimates are left in dEstimates and eEstimates.
  void estimate(bootstrapSampler& sampler) {
    if (fromCells_) {
      // The same cells, and so the same records and warnings, as the fit on the two lists.
      doseCells drawn, neverDrawn;
      cellsOfDraws(slots_, sampler.drawCountsInDrawOrder(), drawn, neverDrawn);
      dEstimates.assign(1, logisticFromCells(drawn, &snp_));
      eEstimates.assign(1, logisticFromCells(neverDrawn, &snp_));
      return;
    }
    sampler.buildLists();
    computeEstimates(sampler.sample, single_, udPrefix_, dEstimates);
    computeEstimates(sampler.notSelected, single_, uePrefix_, eEstimates);
  }
  // The estimate on all individuals; from the SNP's cells when the resamples' come from them.
  void estimateOnAll(std::vector<estimateRecord>& estimates) {
    if (fromCells_) {
      estimates.assign(1, logisticFromCells(cellsOfEveryone(slots_), &snp_));
      return;
    }
    computeEstimates(individuals, single_, udPrefix_, estimates);
  }
  snpRecord& snp() { return snp_; }
  std::vector<estimateRecord> dEstimates;
  std::vector<estimateRecord> eEstimates;

 private:
  snpRecord& snp_;
  std::vector<snpRecord*> single_;
  const bool fromCells_;
  slotPositions slots_;
  const std::string udPrefix_ = correlationPrefix("cor_Ud");
  const std::string uePrefix_ = correlationPrefix("cor_Ue");
};

// The oriented log pairs of adjNsample resamples of all individuals.
void collectPairs(pairEstimator& estimator, bootstrapSampler& sampler, std::vector<double>& uds,
                  std::vector<double>& ues) {
  snpRecord& snp = estimator.snp();
  // The draws of all passes are claimed at once: nothing between two passes draws, so the
  // words come in the order of one claim per pass. Dummy estimates draw, and claim per pass.
  const bool claimEachPass = estimateType == 66;
  if (!claimEachPass) {
#pragma omp critical
    sampler.claimResamples(adjNsample);
  }
  for (int pass = 0; pass < adjNsample; ++pass) {
    if (claimEachPass) {
#pragma omp critical
      sampler.claimResamples(1);
    }
    sampler.nextResample();
    estimator.estimate(sampler);
    char alleleUd = 0;
    char alleleUe = 0;
    double ud = firstEffect(estimator.dEstimates, alleleUd);
    double ue = firstEffect(estimator.eEstimates, alleleUe);
    if (debugLevel != 0) {
      std::ostringstream text;
      text << "EEE Ud Ue " << ud << " " << ue << "\n";
      std::cout << text.str();
    }
    if (!usableCorrelationPair(ud, ue)) continue;
    orientCorrelationPair(ud, ue, alleleUd, alleleUe);
    warnLargeEffect(snp, ud, ue);
    if (silent == 0) {
      std::ostringstream text;
      text << "UdOR " << alleleUd << " " << ud << " " << "UeOR " << alleleUe << " " << ue << "\n";
      std::cout << text.str();
    }
    uds.push_back(ud);
    ues.push_back(ue);
  }
}

// |ln OR| of the SNP on all individuals; missingValue when the estimate is missing, so that
// the adjustment is not applied with a made-up full-data effect.
double absLogOddsRatioOnAll(pairEstimator& estimator) {
  std::vector<estimateRecord> estimates;
  estimator.estimateOnAll(estimates);
  char allele = 0;
  const double effect = firstEffect(estimates, allele);
  if (effect == missingValue) return missingValue;
  double value = std::log(effect);
  if (value < 0) value = -value;
  return value;
}

// The computation itself; the caller guarantees that no other thread computes this SNP.
void computeAndStore(snpRecord& snp) {
  std::cout << "Computing Ud/Ue correlation for snp: " + snp.name + "\n";
  std::vector<double> uds;
  std::vector<double> ues;
  bootstrapSampler sampler(individuals);
  pairEstimator estimator(snp, sampler);
  collectPairs(estimator, sampler, uds, ues);
  const int n = static_cast<int>(uds.size());
  const double meanUd = meanIgnoringMissing(uds);
  const double meanUe = meanIgnoringMissing(ues);
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += (uds[i] - meanUd) * (ues[i] - meanUe);
  // With no pair this is 0 / -1, a negative zero, which leaves every adjustment at Ue.
  const double covariance = sum / (n - 1);
  const double absLogOrFull = absLogOddsRatioOnAll(estimator);
  snp.covUdUe = covariance;
  snp.sdUd = sdIgnoringMissing(uds);
  snp.absLogOrFull = absLogOrFull;
  if (debugLevel != 0) {
    const double sdUe = sdIgnoringMissing(ues);
    std::ostringstream text;
    text << snp.name << " Covariance = " << covariance << " SdUd = " << snp.sdUd
         << " SdUe = " << sdUe << " Cor = " << covariance / (snp.sdUd * sdUe)
         << " Un=" << absLogOrFull << "\n";
    std::cout << text.str();
  }
}

}  // namespace

void resetCorrelationState() {
  int32_t largest = -1;
  for (const snpRecord* snp : snps) largest = std::max(largest, snp->index);
  stateCount = static_cast<size_t>(largest + 1);
  states = std::make_unique<std::atomic<int>[]>(stateCount);
  for (const snpRecord* snp : snps) {
    if (snp->index < 0) continue;
    states[static_cast<size_t>(snp->index)].store(
        snp->covUdUe != missingValue ? computed : notComputed, std::memory_order_relaxed);
  }
}

bool usableCorrelationPair(double ud, double ue) {
  if (ud == missingValue || ue == missingValue) return false;
  return ud >= 1e-20 && ue >= 1e-20 && ud <= 1e10 && ue <= 1e10;
}

void orientCorrelationPair(double& ud, double& ue, char alleleUd, char& alleleUe) {
  if (alleleUd != alleleUe) {
    ue = 1 / ue;
    alleleUe = alleleUd;
  }
  if ((ud < 1 && ue > 1) || (ud > 1 && ue < 1)) ue = 1;
  if (ud < 1) {
    ud = 1 / ud;
    ue = 1 / ue;
  }
  ud = std::log(ud);
  ue = std::log(ue);
}

std::string correlationPrefix(const char* stem) {
  return scratchPrefix + "cpu" + std::to_string(omp_get_thread_num()) + stem;
}

void computeUdUeCorrelation(snpRecord& snp) {
  std::atomic<int>* state = stateOf(snp);
  if (state == nullptr) {
    // Not in the table (no table sized in this run, as in a join): every such computation is
    // serialised, and the fields are only ever written inside this lock.
#pragma omp critical(udUeCorrelation)
    {
      if (snp.covUdUe == missingValue) computeAndStore(snp);
    }
    return;
  }
  int seen = state->load(std::memory_order_acquire);
  if (seen == computed) return;
  int expected = notComputed;
  if (state->compare_exchange_strong(expected, computing, std::memory_order_acquire)) {
    computeAndStore(snp);
    state->store(computed, std::memory_order_release);
    state->notify_all();
    return;
  }
  // Another thread is computing this SNP. The waiter holds no lock, so the computing thread
  // can still take the process-wide lock for its resamples.
  while ((seen = state->load(std::memory_order_acquire)) != computed) {
    state->wait(seen, std::memory_order_acquire);
  }
}

void computeCorrelations() {
  std::cout << "Computing Ud/Ue correlation for significant snps..\n";
  resetCorrelationState();
#pragma omp parallel
  correlationWorker();
}

namespace {

// The SNPs of the list shared out among the threads of the enclosing region one at a time, as
// each thread comes free: the time per SNP varies too much for fixed blocks, which leave a few
// threads working long after the others. One thread takes them in list order.
void correlateShared(const std::vector<snpRecord*>& list) {
  const int count = static_cast<int>(list.size());
#pragma omp for schedule(dynamic, 1)
  for (int i = 0; i < count; ++i) computeUdUeCorrelation(*list[static_cast<size_t>(i)]);
}

}  // namespace

void correlationWorker() {
  std::vector<snpRecord*> list;
  for (const resultRecord& record : naiveResults) list.push_back(record.snp);
  correlateShared(list);
}

void computeCorrelationsInParallel(const std::vector<snpRecord*>& list) {
  if (list.empty()) return;
#pragma omp parallel
  correlateShared(list);
}
