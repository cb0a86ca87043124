#include "common/archive/open_ahead.h"

void OpenAhead::start(const WideBuf& list, const uint32_t* offsets, uint32_t count,
                      ListedOpener open, void* context) {
    list_ = &list;
    offsets_ = offsets;
    count_ = count;
    open_ = open;
    context_ = context;
    // Each opener may fill both of its batches at first; each one the writer is done with is
    // posted back to it.
    threaded_ = true;
    for (uint32_t t = 0; t < kThreads; ++t) {
        Opener& o = openers_[t];
        o.owner = this;
        o.first = t;
        threaded_ = threaded_ && o.ready.create(0, kBatches) &&
                    o.free.create(kBatches / kThreads, kBatches + 1);
    }
    for (uint32_t t = 0; t < kThreads && threaded_; ++t) {
        openers_[t].running = startThread(&OpenAhead::run, &openers_[t], openers_[t].thread);
        if (!openers_[t].running) {
            stop();  // the writer opens in line instead
            threaded_ = false;
        }
    }
}

void OpenAhead::openInto(Opened& e, uint32_t index, WideBuf& path) {
    e.file.close();
    e.opened = false;
    e.offset = offsets_[index];
    uint32_t at = e.offset;
    e.name = listedNameAt(*list_, at);
    if (e.name == nullptr) return;
    e.opened = open_(context_, e.name, e.file, path);
    e.error = lastSystemError();
}

void OpenAhead::run(void* self) {
    Opener& o = *static_cast<Opener*>(self);
    OpenAhead& a = *o.owner;
    for (uint32_t batch = o.first; batch * kBatch < a.count_; batch += kThreads) {
        o.free.wait();
        if (a.stopping_.load(std::memory_order_acquire)) return;
        Opened* slot = a.entries_ + batch % kBatches * kBatch;
        const uint32_t first = batch * kBatch;
        for (uint32_t k = 0; k < kBatch && first + k < a.count_; ++k) {
            a.openInto(slot[k], first + k, o.path);
        }
        o.ready.post();
    }
}

OpenAhead::Opened& OpenAhead::take() {
    if (taken_ >= count_) return end_;
    Opened& e = entries_[taken_ % (kBatch * kBatches)];
    if (!threaded_) {
        openInto(e, taken_, path_);
    } else if (taken_ % kBatch == 0) {
        const uint32_t batch = taken_ / kBatch;
        // The batch before is its opener's again.
        if (batch > 0) openers_[(batch - 1) % kThreads].free.post();
        openers_[batch % kThreads].ready.wait();
    }
    ++taken_;
    if (e.name == nullptr) {
        taken_ = count_;  // a list shorter than it said: nothing after this
        return end_;
    }
    return e;
}

void OpenAhead::stop() {
    stopping_.store(true, std::memory_order_release);
    for (Opener& o : openers_) {
        if (!o.running) continue;
        o.free.post();  // wakes it if it waits for room
        joinThread(o.thread);
        o.running = false;
    }
    for (Opened& e : entries_) e.file.close();
}
