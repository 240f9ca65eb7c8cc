// Building a SAS file from a recording (SAS File / Build in the program, `vocara-cli build`).
//
// The file gets the 136-byte header (frame count N div H, two links, frame length H, the
// recording's rate and sample checksum, the live settings), one frame per hop of H samples,
// frame i measured on the window centred on sample i x H, and the links (0, 0) and (N, N).
// The file appears whole or not at all (OutputFile): a cancelled or failed build leaves the
// previous file of that name as it was; the new SAS is never opened.
//
// Frames are independent, so the block engine (BlockAnalyser) computes blocks of them on
// worker threads while the calling thread reads the recording, writes the frames in order and
// reports progress before each frame; the file it writes is byte for byte the file of the plain
// evaluation, frame after frame and note after note, which stays available as the reference.
#pragma once

#include <cstdint>
#include <string>

#include "base/MessageId.h"
#include "base/Progress.h"
#include "engine/sas/AnalysisKernels.h"

namespace vocara {

struct WavDocument;
struct GeneralSettings;

enum class AnalysisEngine {
  Blocks,     // vector lanes and worker threads
  Reference,  // the plain evaluation: one frame, one note, one phasor step after another
};

struct SasBuildOptions {
  AnalysisEngine engine = AnalysisEngine::Blocks;
  KernelWidth width = BestKernelWidth();  // of the block engine; narrower widths for tests
  // Threads of the block engine, the calling one among them; below 0 one per processor, 0 or 1
  // computes every block on the calling thread.
  int workers = -1;
};

struct SasBuildResult {
  // "Opened file can not be overwritten" for the recording itself as the target, "The target
  // is not a regular file", "Invalid File Handle" when the file cannot be created; nothing is
  // written then. OutputWriteFailed when a write failed or the analysis buffers could not be
  // had.
  MessageId message = MessageId::None;
  // Cancelled: the progress callback said stop. Failed: see message. Either way no output.
  LongOperationResult result = LongOperationResult::Done;
  std::uint32_t frameCount = 0;
  std::uint32_t frameLength = 0;
};

// Builds outPath from the document with `settings`. progress (may be empty) is called before
// each frame with the frame's sample position i x H and the sample count N.
//
// The recording is read through the document's own open file, on the calling thread only, so
// the analysed samples are always those of the open document and the workers never touch a
// file: the plain evaluation reads each window through the document's shared read buffer
// (LoadAnalysisWindow), the block engine reads each block's run into buffers of its own. The
// buffers are sized once per build from W and H at the recording's rate, never per frame:
// the plain evaluation's window of W + 1 doubles; for the block engine a few blocks' runs of
// samples ((frames per block - 1) x H + W each) and, per worker, the run as doubles, a tile of
// at most 1 MiB and the note sums. A rate so high that these cannot be had (W is about 0.67 x
// the rate at A0) ends the build as Failed.
SasBuildResult SasBuildFile(WavDocument& wav, const GeneralSettings& settings, const std::string& outPath,
                            const ProgressCallback& progress, const SasBuildOptions& options = {});

}  // namespace vocara
