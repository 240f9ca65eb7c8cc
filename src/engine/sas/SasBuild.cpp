// The block engine's threads: the calling thread reads each block's run of samples from the
// document's file into a slot of its own and queues it; workers take queued slots, compute
// their frames and mark them done; the calling thread waits for the blocks in order, reports
// progress before each frame, writes the frames and refills the slot with the next block to
// read. A few more slots than workers keep the workers busy while the calling thread writes.
// A stop (cancel, write failure or the end) lets every worker finish the block it holds and
// joins it before the slots go away.

#include "engine/sas/SasBuild.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/BlockAnalyser.h"
#include "engine/sas/SasRecords.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

enum class FramesOutcome { Done, Cancelled, WriteFailed };

bool Continue(const ProgressCallback& progress, std::uint64_t position, std::uint64_t total) {
  return !progress || progress(position, total);
}

FramesOutcome ReferenceFrames(WavDocument& wav, const GeneralSettings& settings, std::uint32_t windowLength,
                              std::uint32_t frameLength, std::uint32_t frameCount, FileHandle& file,
                              const ProgressCallback& progress) {
  std::vector<double> window(std::size_t{windowLength} + 1);
  NoteSpectrum spectrum;
  const std::uint32_t rate = wav.header.fields.sampleRate;
  const std::uint32_t w = windowLength;
  const std::uint32_t h = frameLength;
  for (std::uint32_t i = 0; i < frameCount; ++i) {
    const std::uint32_t pos = i * h;
    if (!Continue(progress, pos, wav.sampleCount)) return FramesOutcome::Cancelled;
    LoadAnalysisWindow(wav, pos, window);
    double lo = 2147483647.0;
    double hi = -2147483648.0;
    for (std::uint32_t k = (w - h) / 2; k < (w + h) / 2; ++k) {
      if (window[k] < lo) lo = window[k];
      if (window[k] > hi) hi = window[k];
    }
    DetectNote(spectrum, window, rate, settings);
    SasFrame frame;
    frame.sourcePitch = FramePitch(spectrum.detected, spectrum.fine);
    frame.targetPitch = frame.sourcePitch;
    frame.minSample = static_cast<std::int32_t>(lo);
    frame.maxSample = static_cast<std::int32_t>(hi);
    frame.targetAmplitude =
        static_cast<std::uint32_t>(frame.maxSample) - static_cast<std::uint32_t>(frame.minSample);
    const auto bytes = frame.Serialise();
    if (!file.Write(bytes.data(), bytes.size())) return FramesOutcome::WriteFailed;
  }
  return FramesOutcome::Done;
}

struct Slot {
  explicit Slot(const AnalysisPlan& plan)
      : samples(plan), frames(static_cast<std::size_t>(plan.blockFrames)) {}
  BlockSamples samples;
  std::vector<SasFrame> frames;
  bool done = false;
};

struct WorkQueue {
  std::mutex mutex;
  std::condition_variable queued;
  std::condition_variable finished;
  std::deque<Slot*> waiting;
  bool stop = false;
};

void WorkerLoop(WorkQueue& queue, BlockAnalyser& analyser) {
  for (;;) {
    Slot* slot = nullptr;
    {
      std::unique_lock lock(queue.mutex);
      queue.queued.wait(lock, [&] { return queue.stop || !queue.waiting.empty(); });
      if (queue.stop) return;
      slot = queue.waiting.front();
      queue.waiting.pop_front();
    }
    analyser.Analyse(slot->samples, slot->frames);
    {
      std::lock_guard lock(queue.mutex);
      slot->done = true;
    }
    queue.finished.notify_all();
  }
}

// Stops and joins the workers when the build ends, however it ends.
class Workers {
 public:
  explicit Workers(WorkQueue& queue) : queue_(queue) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers() {
    {
      std::lock_guard lock(queue_.mutex);
      queue_.stop = true;
    }
    queue_.queued.notify_all();
    for (std::thread& thread : threads) thread.join();
  }
  std::vector<std::thread> threads;

 private:
  WorkQueue& queue_;
};

FramesOutcome BlockFrames(WavDocument& wav, const GeneralSettings& settings, const SasBuildOptions& options,
                          FileHandle& file, const ProgressCallback& progress) {
  const KernelWidth width = KernelWidthAvailable(options.width) ? options.width : KernelWidth::Portable;
  const AnalysisPlan plan = MakeAnalysisPlan(wav, settings, width);
  const std::uint32_t blocks = plan.BlockCount();
  if (blocks == 0) return FramesOutcome::Done;

  const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int wanted = static_cast<int>(std::min<std::uint32_t>(
      static_cast<std::uint32_t>(options.workers < 0 ? processors : options.workers), blocks));
  const std::uint32_t slotCount =
      std::min<std::uint32_t>(blocks, 2 * static_cast<std::uint32_t>(std::max(wanted, 1)) + 1);
  std::vector<std::unique_ptr<Slot>> slots;
  for (std::uint32_t s = 0; s < slotCount; ++s) slots.push_back(std::make_unique<Slot>(plan));
  std::vector<std::unique_ptr<BlockAnalyser>> analysers;
  for (int a = 0; a < std::max(wanted, 1); ++a) analysers.push_back(std::make_unique<BlockAnalyser>(plan));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(plan.blockFrames) * SasFrame::ByteSize);

  WorkQueue queue;
  Workers workers(queue);
  for (int w = 0; w < wanted; ++w) {
    try {
      workers.threads.emplace_back(WorkerLoop, std::ref(queue),
                                   std::ref(*analysers[static_cast<std::size_t>(w)]));
    } catch (const std::system_error&) {
      break;  // fewer workers; with none the calling thread computes every block
    }
  }
  const bool onCallingThread = workers.threads.empty();

  const auto submit = [&](Slot& slot, std::uint32_t block) {
    ReadBlockSamples(wav, plan, block, slot.samples);
    if (onCallingThread) return;
    {
      std::lock_guard lock(queue.mutex);
      slot.done = false;
      queue.waiting.push_back(&slot);
    }
    queue.queued.notify_one();
  };
  for (std::uint32_t s = 0; s < slotCount; ++s) submit(*slots[s], s);

  for (std::uint32_t block = 0; block < blocks; ++block) {
    Slot& slot = *slots[block % slotCount];
    if (onCallingThread) {
      analysers[0]->Analyse(slot.samples, slot.frames);
    } else {
      std::unique_lock lock(queue.mutex);
      queue.finished.wait(lock, [&] { return slot.done; });
    }
    for (std::uint32_t j = 0; j < slot.samples.frames; ++j) {
      const std::uint64_t pos = std::uint64_t{slot.samples.firstFrame + j} * plan.frameLength;
      if (!Continue(progress, pos, plan.sampleCount)) return FramesOutcome::Cancelled;
      slot.frames[j].SerialiseInto(bytes.data() + j * SasFrame::ByteSize);
    }
    if (!file.Write(bytes.data(), slot.samples.frames * SasFrame::ByteSize))
      return FramesOutcome::WriteFailed;
    if (block + slotCount < blocks) submit(slot, block + slotCount);
  }
  return FramesOutcome::Done;
}

// A file that is not kept is removed; on this desktop that is the whole of re-creating it
// empty with delete-on-close.
}  // namespace

SasBuildResult SasBuildFile(WavDocument& wav, const GeneralSettings& settings, const std::string& outPath,
                            const ProgressCallback& progress, const SasBuildOptions& options) {
  SasBuildResult result;
  // Creating the recording itself as the target would cut the samples being analysed.
  if (SameFile(outPath, wav.path)) {
    result.message = MessageId::OpenedFileCanNotBeOverwritten;
    result.result = LongOperationResult::Failed;
    return result;
  }
  OutputFile output;
  if (const MessageId refused = output.Begin(outPath); refused != MessageId::None) {
    result.message = refused;
    result.result = LongOperationResult::Failed;
    return result;
  }
  FileHandle& file = output.File();

  const std::uint32_t count = wav.sampleCount;
  const std::uint32_t windowLength = AnalysisWindowLength(settings.lowestNote, wav.header.fields.sampleRate);
  const std::uint32_t frameLength = AnalysisFrameLength(windowLength, settings.chunkPeriods);
  const std::uint32_t frameCount = frameLength == 0 ? 0 : count / frameLength;
  result.frameCount = frameCount;
  result.frameLength = frameLength;

  SasHeader header;
  header.frameCount = frameCount;
  header.linkCount = 2;
  header.frameLength = frameLength;
  header.sampleRate = wav.header.fields.sampleRate;
  header.wavChecksum = wav.checksum;
  header.settings = settings;
  const auto headerBytes = header.Serialise();
  FramesOutcome outcome = FramesOutcome::WriteFailed;
  if (file.Write(headerBytes.data(), headerBytes.size())) {
    try {
      outcome = options.engine == AnalysisEngine::Reference
                    ? ReferenceFrames(wav, settings, windowLength, frameLength, frameCount, file, progress)
                    : BlockFrames(wav, settings, options, file, progress);
    } catch (const std::bad_alloc&) {
      // Only a sample rate far beyond any real recording asks for more than memory holds.
      outcome = FramesOutcome::WriteFailed;
    }
  }

  if (outcome == FramesOutcome::Done) {
    const auto first = TimeLink{0, 0}.Serialise();
    const auto last = TimeLink{count, count}.Serialise();
    if (!file.Write(first.data(), first.size()) || !file.Write(last.data(), last.size()) || !output.Commit())
      outcome = FramesOutcome::WriteFailed;
  }
  if (outcome == FramesOutcome::Done) return result;
  output.Abandon();
  if (outcome == FramesOutcome::Cancelled) {
    result.result = LongOperationResult::Cancelled;
  } else {
    result.message = MessageId::OutputWriteFailed;
    result.result = LongOperationResult::Failed;
  }
  return result;
}

}  // namespace vocara
