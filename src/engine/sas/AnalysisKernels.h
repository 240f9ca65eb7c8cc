// The inner loops of the block engine: the phasor recurrence of NoteStrength for a block of
// frames at once, one frame per vector lane.
//
// A block holds lanes x chains frames. All frames of a block sum the same note over the same
// window slots, so one vector instruction advances the same step of the same note in several
// frames; the chains are independent groups of lanes, interleaved so that the processor can
// overlap their rotations, each of which waits for the one before it. Every lane performs the
// operations of the plain evaluation in the same order (sum += x x re, sum += x x im, then the
// rotation), with no fused multiply-add, so each frame gets exactly the doubles that
// NoteStrength computes.
//
// Window data come in tiles: row r of a tile holds slot (first + r) of every frame of the
// block, frame f at row x frames + f. State is four runs of `frames` doubles: sumRe, sumIm,
// re, im. Nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vocara {

// Doubles per vector: the AVX-512 and AVX2 paths are chosen at run time; the portable path
// (two lanes, SSE2 on x86-64) runs everywhere.
enum class KernelWidth { Portable = 2, Avx2 = 4, Avx512 = 8 };

struct KernelShape {
  int lanes = 2;
  int chains = 1;
  int Frames() const { return lanes * chains; }
};

bool KernelWidthAvailable(KernelWidth width);
// The widest width this processor runs.
KernelWidth BestKernelWidth();
KernelShape ShapeOf(KernelWidth width);

// Continues one note's recurrence for every frame of a block over `steps` consecutive slots,
// starting at tile row `x`.
void PhasorSteps(KernelWidth width, const double* x, std::size_t steps, double cosStep, double sinStep,
                 double* state);

// Each frame has a note of its own (cosStep and sinStep, one entry per frame) over `steps`
// consecutive slots starting at tile row `x`. A frame whose mask entry is 0 adds nothing: its
// sums stay exactly as they are (x + 0 = x, and the sums never hold -0), while its phasor turns
// on; the caller splits the slots where masks change and sets a frame's phasor to (1, 0) at
// its first slot, so that each frame gets the plain evaluation of its own note. Mask entries
// are all ones or 0.
void PhasorStepsPerFrame(KernelWidth width, const double* x, std::size_t steps, const double* cosStep,
                         const double* sinStep, const std::uint64_t* mask, double* state);

}  // namespace vocara
