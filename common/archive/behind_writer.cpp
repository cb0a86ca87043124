#include "common/archive/behind_writer.h"

bool BehindWriter::start(File& out, uint32_t slotBytes) {
    out_ = &out;
    failed_ = false;
    next_ = writing_ = 0;
    for (Slot& s : slots_) {
        if (!s.buffer.ensureCapacity(slotBytes)) return false;
    }
    if (free_.create(kSlots, kSlots) && ready_.create(0, kSlots) &&
        startThread(&BehindWriter::run, this, thread_)) {
        started_ = true;
    }
    return true;
}

uint8_t* BehindWriter::acquire() {
    if (started_) free_.wait();
    return slots_[next_].buffer.data;
}

void BehindWriter::submit(uint32_t offset, uint32_t bytes) {
    Slot& s = slots_[next_];
    if (!started_) {
        // No second thread: write now, in line.
        if (bytes > 0 &&
            out_->write(s.buffer.data + offset, bytes) != static_cast<int64_t>(bytes)) {
            failed_ = true;
        }
        return;
    }
    s.offset = offset;
    s.bytes = bytes;
    s.stop = false;
    next_ = (next_ + 1) % kSlots;
    ready_.post();
}

bool BehindWriter::finish() {
    if (started_) {
        free_.wait();
        slots_[next_].stop = true;
        ready_.post();
        joinThread(thread_);
        started_ = false;
    }
    return !failed_;
}

void BehindWriter::run(void* self) {
    BehindWriter& w = *static_cast<BehindWriter*>(self);
    for (;;) {
        w.ready_.wait();
        Slot& s = w.slots_[w.writing_];
        if (s.stop) return;
        // After a failure the rest is only drained: the run is abandoned anyway.
        if (!w.failed_ && s.bytes > 0 &&
            w.out_->write(s.buffer.data + s.offset, s.bytes) != static_cast<int64_t>(s.bytes)) {
            w.failed_ = true;
        }
        w.writing_ = (w.writing_ + 1) % kSlots;
        w.free_.post();
    }
}
