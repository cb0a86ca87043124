// The worker thread of a job: the progress dialog starts it when it opens, and it runs the
// record's job to its end. The record is lent to the thread whole; the front end waits for the
// thread to end (runProgressDialog) before it looks at the record again.
#include <windows.h>

#include "common/archive/job_records.h"

namespace {

template <typename Record>
DWORD WINAPI runJob(LPVOID parameter) {
    if (parameter != nullptr) static_cast<Record*>(parameter)->run();
    return 0;
}

// Default security and stack size, running at once, with the record as its parameter.
template <typename Record>
ThreadHandle startJob(Record& record) {
    record.workerThread = nullptr;
    record.workerThreadId = 0;
    DWORD id = 0;
    const HANDLE thread = CreateThread(nullptr, 0, runJob<Record>, &record, 0, &id);
    record.workerThread = thread;
    record.workerThreadId = thread != nullptr ? id : 0;
    return thread;
}

}  // namespace

ThreadHandle ArchiveWriter::startWorker() {
    return startJob(*this);
}

ThreadHandle ArchiveReader::startWorker() {
    result = kExtractOk;
    return startJob(*this);
}
