// A SNP-major copy of the packed genotypes, for scans that count the genotype cells of every SNP
// over many resamples: per SNP column two bit-planes over the individuals of the data set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/rows_by_record.h"

// Row r is individuals[r] at the time of the build. In the planes of a column, bit r of the low
// plane is the low bit of that individual's genotype code and bit r of the high plane its high
// bit; the bits past the last row are 0.
struct snpMajorGenotypes {
  bool valid = false;
  int columns = 0;
  size_t wordsPerPlane = 0;  // a multiple of 4, so that kernels may take four words at a time
  std::vector<const individualRecord*> rows;
  rowsByRecord rowByRecord;
  std::vector<uint64_t> planes;  // column j: low plane, then high plane, wordsPerPlane each
  // Bit r: rows[r] is a control (phenotype exactly 1.0) at the build. Phenotypes do not change
  // once the copy is built; every change of the records drops the copy.
  std::vector<uint64_t> controls;

  const uint64_t* lowPlane(int column) const {
    return planes.data() + 2 * wordsPerPlane * static_cast<size_t>(column);
  }
  const uint64_t* highPlane(int column) const { return lowPlane(column) + wordsPerPlane; }
};

// The copy of the current data set; read-only while worker threads run.
inline snpMajorGenotypes snpMajor;

// Builds the copy from individuals and their nSnps columns unless it is already built.
// Main thread only, with no worker thread running.
void ensureSnpMajorGenotypes();
// Drops the copy. Every change of the individual records (compaction, removal, freeing) calls
// this, so that a copy never outlives the records it was built from.
void invalidateSnpMajorGenotypes();
