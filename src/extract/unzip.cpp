// unzip.cpp -- the extraction driver: Qz4UnZip and Qz4QUnZip.
//
// A run walks the central directory of an open archive, picks the entries
// the include and exclude lists select, and extracts each one to disk, or
// in test mode decodes it and checks its CRC.  Problems with one entry are
// messages to the host: answered with OK, the entry is skipped, the more
// status records the problem and the run ends with QZ_SKIPPED.  Problems with the
// run end it at once with their code.  Whatever ends it, the run releases
// everything it took and drops the path filters.
//
// Read as today's archives need (QZ_EXT_ENTRY_PROBLEMS), more of the
// problems of one entry leave the run going: a method that cannot be
// decoded, a directory that cannot be made, a name too long for the name
// buffer; a DOS date that is no date leaves the file with the time it was
// written at, and says so.
//
// Archives whose directory is read from a directory file (spanned sets,
// QZVW archives, directory-first volumes) keep entry data spread over
// volumes: each entry is first copied, across volume boundaries, into a
// temporary entry copy file, and decoded from there.
#include "archive/archive.h"
#include "crypt/crypt.h"
#include "decode/pipeline.h"
#include "extract/extract.h"
#include "frame/frame.h"
#include "select/select.h"

namespace qz {
namespace extract {

namespace {

using archive::Archive;

enum : uint32_t { kNameBufferBytes = kNameBytes + 1 };

// The low byte of an entry's external attributes says what it is.
enum : uint8_t { kAttrReadOnly = 0x01, kAttrLabel = 0x08, kAttrDirectory = 0x10, kAttrArchive = 0x20, kAttrBit80 = 0x80 };

// The outcome of each step of an entry: go on with the entry (after its
// last step, with the next one), skip the entry and go on with the next, or
// stop the run with the result in Run::result.
enum class Step { GoOn, Skip, Stop };

struct Run {
    // the caller's arguments
    QzHandle *handle;
    const char *outputName;
    const char *include;
    const char *exclude;

    Archive *archive = nullptr;
    uint32_t options = 0;
    char password[frame::kPasswordBytes];
    char destDir[kNameBytes];
    uint32_t attributeMask = 0xFFFFFFFFu;
    frame::LockedBlock nameBuffer, extraBuffer, commentBuffer;
    QzEntryRecord record;
    uint32_t processed = 0;
    bool yesToAll = false;
    HANDLE output = INVALID_HANDLE_VALUE;
    char *copyName = nullptr;
    HANDLE copy = INVALID_HANDLE_VALUE;
    int16_t result = QZ_OK;   // the error that ended the run, if any
    // With names taken as written: the directory the run made or found
    // last (createDirectories)
    char knownDir[kNameBytes] = "";
    bool nameTooLong = false;  // the walk could not convert the current name

    // the current entry
    char drive[kNameBytes], dir[kNameBytes], name[kNameBytes];  // OEM parts
    char pathAnsi[kNameBytes], pathOem[kNameBytes];
    HANDLE input = INVALID_HANDLE_VALUE;

    char *entryName() { return (char *)nameBuffer.p; }
    uint8_t *extra() { return (uint8_t *)extraBuffer.p; }
    bool testing() const { return (options & OPT_TEST) != 0; }

    Step stop(int16_t code) {
        result = code;
        return Step::Stop;
    }

    // ---- the walk -------------------------------------------------------------

    int16_t walk(bool first) {
        return walkEntries(archive, first, &record, entryName(), extraBuffer.p, (char *)commentBuffer.p);
    }

    void closeOutput() {
        CloseHandle(output);
        output = INVALID_HANDLE_VALUE;
    }

    void closeCopy() {
        if (copy != INVALID_HANDLE_VALUE)
            CloseHandle(copy);
        copy = INVALID_HANDLE_VALUE;
    }

    // Sends a message about the current entry: true when the host answered
    // OK (go on with the next entry), false when the run is cancelled.
    bool message(int16_t code) {
        if (frame::raise(QZ_EVENT_MESSAGE, code) == QZ_ANSWER_OK)
            return true;
        result = QZ_CANCELLED;
        return false;
    }

    // The more status keeps one problem of the run, the one the host most
    // needs to act on: a file that could not be had (QZ_ERR_FILE: the
    // destination needs attention) outranks a file written with a CRC
    // mismatch (its data are suspect), which outranks the entries left out
    // (a wrong password, an unsupported method: as the host answered when
    // told).  So a later problem replaces an earlier one only when it ranks
    // as high or higher, and the others are recorded only when nothing is.
    void setMoreStatus(int16_t code) {
        int16_t &more = frame::g.moreStatus;
        if (code == QZ_ERR_FILE || (code == QZ_CRC_MISMATCH && more != QZ_ERR_FILE) || more == QZ_OK)
            more = code;
    }

    // A problem of the current entry that the run goes on after: the
    // message and, answered OK, the record of it (false: cancelled).
    bool report(int16_t code) {
        if (!message(code))
            return false;
        setMoreStatus(code);
        return true;
    }
    Step skipWith(int16_t code) {
        return report(code) ? Step::Skip : Step::Stop;
    }

    // A problem that ends the run, unless problems stay with their entry.
    Step stopOrSkip(int16_t code) {
        return extensionOn(QZ_EXT_ENTRY_PROBLEMS) ? skipWith(code) : stop(code);
    }

    // ---- one entry ---------------------------------------------------------------

    Step entry();
    Step positionInput();
    Step checkPassword();
    Step specialEntry(bool directory);
    Step fileEntry();
    Step replaceExisting(const WIN32_FIND_DATAA &found);
    Step createOutput();
    Step finishFile(uint32_t crc);
    // A file entry passed over because its output file cannot be had: the
    // skip notification, and access denied in the more status.
    Step skipDenied() {
        frame::notifySkipped();
        setMoreStatus(QZ_ERR_FILE);
        return Step::Skip;
    }
};

Step Run::entry() {
    char oemName[kNameBufferBytes];
    lstrcpynA(oemName, entryName(), sizeof oemName);
    qz::ansiToOem(oemName, oemName);
    select::splitPath(oemName, drive, dir, name);
    bool fits = lstrlenA(drive) + lstrlenA(dir) + lstrlenA(name) == lstrlenA(oemName);
    if (extensionOn(QZ_EXT_POSIX_NAMES) && drive[0]) {
        // Where ':' is a character of names, "c:x" names a file "c:x".
        lstrcatA(drive, dir);
        lstrcpynA(dir, drive, kNameBytes);
        drive[0] = 0;
    }
    if (!(options & OPT_KEEP_DRIVE))
        drive[0] = 0;
    bool unsafe = false;
    if (extensionOn(QZ_EXT_ENTRY_PROBLEMS)) {
        if (!drive[0])
            dropLeadingSeparators(dir);
        unsafe = leavesDirectory(oemName);
    }
    if (!select::selectionTest(dir, name, include, exclude, true))
        return Step::Skip;

    if (!testing()) {
        fits &= destinationPath(destDir, outputName, drive, dir, name, options, pathAnsi, pathOem);
        frame::beginEntry(pathAnsi);
    } else {
        // Nothing is written in a test, so the host sees the entry's name.
        frame::beginEntry(entryName());
        fits = true;
    }
    // A path cut to fit its buffer would write some other file: in the
    // mode where problems stay with their entry, the entry is skipped.
    if (nameTooLong || (!fits && extensionOn(QZ_EXT_ENTRY_PROBLEMS)))
        return skipWith(QZ_TOO_LONG);
    if (unsafe)
        return skipWith(QZ_EXT_UNSAFE_NAME);

    if (positionInput() == Step::Stop)
        return Step::Stop;
    archive::LocalHeader local;
    if (archive::readLocalHeader(input, &local) != QZ_OK)
        return stop(QZ_ERR_READ);
    frame::describeEntry(methodCode((int16_t)local.method, local.flags), local.uncompressedSize,
                         record.dosDate, record.dosTime);
    if (!archive::seekBy(input, (int32_t)local.nameLength + local.extraLength))
        return stop(QZ_ERR_READ);

    uint8_t kind = (uint8_t)record.externalAttributes;
    if (kind & kAttrDirectory)
        return specialEntry(true);
    if (kind & kAttrLabel)
        return specialEntry(false);
    return fileEntry();
}

// Leaves `input` at the entry's local header: the archive file itself, or
// for an archive with a directory file, a copy of the entry gathered from
// its volumes.
Step Run::positionInput() {
    if (!archive::hasDirectoryFile(archive)) {
        input = archive->file;
        return archive::seekTo(input, archive->entry.localHeaderOffset) ? Step::GoOn : stop(QZ_ERR_READ);
    }

    int16_t r = archive::switchToEntryVolume(archive, &record, handle);
    if (r != QZ_OK)
        return stop(r);
    if (!archive::seekTo(archive->file, record.localHeaderOffset))
        return stop(QZ_ERR_FILE);
    copy = CreateFileA(copyName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                       FILE_FLAG_RANDOM_ACCESS, NULL);
    if (copy == INVALID_HANDLE_VALUE || !SetEndOfFile(copy))
        return stop(QZ_ERR_FILE);
    uint64_t bytes = (uint64_t)archive::kLocalHeaderBytes + record.nameLength + record.extraLength +
                     record.commentLength + record.compressedSize;
    // Today's writers give the local header an extra field of its own
    // length: read as split sets, the entry is what its local header says.
    archive::LocalHeader local;
    if (extensionOn(QZ_EXT_SPLIT_ARCHIVES) && archive::readLocalHeader(archive->file, &local) == QZ_OK &&
        archive::seekBy(archive->file, -(int32_t)archive::kLocalHeaderBytes))
        bytes = (uint64_t)archive::kLocalHeaderBytes + local.nameLength + local.extraLength +
                archive->entry.compressedSize;
    if (bytes > 0x7FFFFFFFu)
        return stop(QZ_ERR_READ);
    r = archive::copyAcrossVolumes(archive, copy, (uint32_t)bytes, handle);
    if (r != QZ_OK)
        return stop(r);
    if (!archive::seekTo(copy, 0))
        return stop(QZ_ERR_READ);
    input = copy;
    return Step::GoOn;
}

// The entry is skipped when the password does not fit and the host lets the
// run go on without it.
Step Run::checkPassword() {
    int16_t r = Qz4ZipCheckPassword(archive::toArchiveHandle(input), &record, password);
    if (r == QZ_OK)
        return Step::GoOn;
    if (r == QZ_ERR_METHOD)
        return skipWith(r);
    if (r != QZ_BAD_PASSWORD)
        return stop(r);
    if (!message(QZ_WRONG_PASSWORD))
        return Step::Stop;
    setMoreStatus(QZ_WRONG_PASSWORD);
    return Step::Skip;
}

// Directory and volume-label entries are made only when a switch asks for
// them (or, in a test, only checked).  A label that cannot be set is no
// reason to stop: it is recorded in the more status, and not counted.
Step Run::specialEntry(bool directory) {
    if (!(options & ((directory ? OPT_DIRS : OPT_LABEL) | OPT_TEST)))
        return Step::Skip;
    Step step = checkPassword();
    if (step != Step::GoOn)
        return step;
    if (!testing()) {
        if (directory) {
            int16_t r = createDirectories(pathAnsi, extensionOn(QZ_EXT_POSIX_NAMES) ? knownDir : nullptr);
            if (r != QZ_OK)
                return stopOrSkip(r);
        } else if (QzSetVolumeLabel(destDir, entryName()) != QZ_OK) {
            setMoreStatus(QZ_ERR_FILE);
            return Step::Skip;
        }
    }
    ++processed;
    return Step::GoOn;
}

// A file is at the destination already: decides whether the entry replaces
// it and, when it does, deletes it.
Step Run::replaceExisting(const WIN32_FIND_DATAA &found) {
    uint16_t extraLength = record.extraLength < kWorkBufferBytes ? record.extraLength : (uint16_t)kWorkBufferBytes;
    switch (decideOverwrite(options, extra(), extraLength, record.dosDate, record.dosTime, pathAnsi,
                            found.ftLastWriteTime, &yesToAll)) {
    case Decision::Keep:
        return Step::Skip;
    case Decision::Cancel:
        return stop(QZ_CANCELLED);
    case Decision::Replace:
        break;
    }
    if (found.dwFileAttributes & kAttrReadOnly) {
        if (options & OPT_KEEP_READONLY)
            return Step::Skip;
        // Without a switch a read-only file is left in place: creating the
        // output fails on it, and createOutput reports that failure.
        if (!(options & OPT_CLEAR_READONLY))
            return Step::GoOn;
        if (!SetFileAttributesA(pathAnsi, kAttrArchive) && (options & OPT_SKIP_LOCKED))
            return skipDenied();
    }
    if (!DeleteFileA(pathAnsi)) {
        if (options & OPT_SKIP_LOCKED)
            return skipDenied();
        return stop(QZ_ERR_FILE);
    }
    return Step::GoOn;
}

// Creates the output file of a file entry, deciding first what to do with
// a file that is there already.
Step Run::createOutput() {
    bool makeDirs = dir[0] && (options & OPT_DIRS);
    // With names taken as written, the run keeps the directory it made or
    // found last and makes the file as a new one at once.  Only when that
    // fails (a file is there, a directory went away) does it take the way
    // below, which looks first; freshening always looks.
    if (extensionOn(QZ_EXT_POSIX_NAMES) && !(options & OPT_FRESHEN)) {
        if (!makeDirs || createDirectories(pathAnsi, knownDir) == QZ_OK) {
            output = archive::openOem(pathOem, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW,
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_RANDOM_ACCESS);
            if (output != INVALID_HANDLE_VALUE)
                return Step::GoOn;
        }
        knownDir[0] = 0;
    }
    if (makeDirs) {
        int16_t r = createDirectories(pathAnsi);
        if (r != QZ_OK)
            return stopOrSkip(r);
    }

    WIN32_FIND_DATAA found;
    HANDLE search = select::findFirst(pathOem, 6, &found);
    if (search == INVALID_HANDLE_VALUE) {
        if (options & OPT_FRESHEN) {
            frame::notifySkipped();
            return Step::Skip;
        }
    } else {
        FindClose(search);
        Step step = replaceExisting(found);
        if (step != Step::GoOn)
            return step;
    }

    output = archive::openOem(pathOem, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_RANDOM_ACCESS);
    if (output == INVALID_HANDLE_VALUE) {
        if (options & OPT_SKIP_LOCKED)
            return skipDenied();
        if (!message(QZ_ERR_FILE))
            return Step::Stop;
        return skipDenied();
    }
    return Step::GoOn;
}

Step Run::fileEntry() {
    Step step = checkPassword();
    if (step != Step::GoOn)
        return step;
    ++processed;

    // Methods the library knows of but cannot decode end the run, unless
    // problems stay with their entry.
    if (!decodedMethod(record.method) && extensionOn(QZ_EXT_ENTRY_PROBLEMS))
        return skipWith(QZ_ERR_METHOD);
    if (!knownMethod(record.method))
        return message(QZ_ERR_METHOD) ? Step::Skip : Step::Stop;

    if (!testing()) {
        step = createOutput();
        if (step != Step::GoOn)
            return step;
    }

    // Sizes are 32-bit fields, the compressed one taken as signed, unless
    // ZIP64 is read: then they are whole (less the encryption header the
    // password check passed).
    int64_t packed = (int32_t)record.compressedSize;
    uint64_t size = record.uncompressedSize;
    if (extensionOn(QZ_EXT_ZIP64)) {
        packed = (int64_t)archive->entry.compressedSize - (record.flags & 1 ? crypt::kHeaderBytes : 0);
        size = archive->entry.uncompressedSize;
    }
    uint32_t crc = 0;
    int16_t r = decode::DecodeEntry(input, output, packed, size,
                                    methodCode((int16_t)record.method, record.flags), &crc,
                                    (int16_t)(record.flags & 1), archive::transferBuffers());
    if (r != QZ_OK) {
        // A file that could not be decoded to its end is not left behind
        // looking complete.
        if (output != INVALID_HANDLE_VALUE) {
            closeOutput();
            DeleteFileA(pathAnsi);
        }
        return stop(r);
    }
    closeCopy();
    return finishFile(crc);
}

// Stamps and closes the output file, then compares the CRC.  With Unix
// modes read, attributes and mode are given through the handle before it
// is closed, rather than to the path after.
Step Run::finishFile(uint32_t crc) {
    if (!testing()) {
        bool unixModes = extensionOn(QZ_EXT_UNIX_MODES);
        FILETIME local, utc;
        bool validTime = fileTimeFromDos(record.dosDate, record.dosTime, &local);
        bool keepNow = !validTime && extensionOn(QZ_EXT_ENTRY_PROBLEMS);
        bool stamped = keepNow || (validTime && LocalFileTimeToFileTime(&local, &utc) &&
                                   SetFileTime(output, NULL, NULL, &utc));
        if (!stamped)
            return stop(QZ_ERR_FILE);
        if (!unixModes)
            closeOutput();

        // The archive attribute is always given.
        DWORD attributes = ((record.externalAttributes & 0xFF) | kAttrArchive) & (attributeMask | kAttrArchive);
        auto setAttributes = [&](DWORD a) {
            if (unixModes)
                return platform::setOpenFileAttributes(output, pathAnsi, a);
            return SetFileAttributesA(pathAnsi, a) != FALSE;
        };
        if (!setAttributes(attributes) && (attributes & kAttrBit80) &&
            !setAttributes(attributes & ~(DWORD)kAttrBit80))
            return stop(QZ_ERR_FILE);
        // With Unix modes read, a regular file's mode is in the high half
        // (links and the rest keep what the file system gives them).  Some
        // writers store the permission bits alone, without a file type.
        uint32_t mode = record.externalAttributes >> 16;
        uint32_t type = mode & archive::kModeType;
        if (unixModes && (type == archive::kModeRegular || (type == 0 && mode != 0)) &&
            !platform::setOpenFileMode(output, mode))
            return stop(QZ_ERR_FILE);
        if (unixModes)
            closeOutput();
        if (keepNow && !report(QZ_EXT_INVALID_TIME))
            return Step::Stop;
    }

    if (crc != record.crc32) {
        if (!message(QZ_CRC_MISMATCH))
            return Step::Stop;
        setMoreStatus(QZ_CRC_MISMATCH);
    }
    return Step::GoOn;
}

// The start of a run: everything up to the first entry.  QZ_OK, or the
// code that ends the run before it walks.
int16_t startRun(Run &run, const char *destination, const char *command) {
    if (!run.handle || archive::findArchive(*run.handle, &run.archive) != QZ_OK)
        return QZ_ERR_HANDLE;
    Archive *a = run.archive;
    frame::setArchiveName(a->name);

    if (!run.nameBuffer.allocate(kNameBufferBytes) || !run.extraBuffer.allocate(kWorkBufferBytes) ||
        !run.commentBuffer.allocate(kWorkBufferBytes))
        return QZ_ERR_MEMORY;

    int16_t r = frame::parse(command, &run.options, run.password);
    if (r != QZ_OK)
        return r;

    shareLongNames(a, &run.options);

    if (run.options & OPT_STRIP_R)
        run.attributeMask &= ~(uint32_t)kAttrReadOnly;
    if (run.options & OPT_STRIP_H)
        run.attributeMask &= ~(uint32_t)FILE_ATTRIBUTE_HIDDEN;
    if (run.options & OPT_STRIP_S)
        run.attributeMask &= ~(uint32_t)FILE_ATTRIBUTE_SYSTEM;
    if (run.options & OPT_STRIP_N)
        run.attributeMask &= ~(uint32_t)kAttrBit80;

    if (run.testing()) {
        frame::setOperation(QZ_OP_TESTING);
        run.destDir[0] = 0;
    } else {
        frame::setOperation(QZ_OP_EXTRACTING);
        destinationDirectory(destination, run.destDir);
        if (extensionOn(QZ_EXT_UNIX_MODES))
            platform::beginOutput();
    }

    if (archive::hasDirectoryFile(a)) {
        run.copyName = archive::makeTempName();
        if (!run.copyName)
            return QZ_ERR_FILE;
    }
    return QZ_OK;
}

// The end of a run, whatever ended it.
int16_t endRun(Run &run, int16_t error) {
    if (run.output != INVALID_HANDLE_VALUE)
        CloseHandle(run.output);
    run.output = INVALID_HANDLE_VALUE;
    if (frame::takeCancel() && error == QZ_OK)
        error = QZ_CANCELLED;
    run.nameBuffer.release();
    run.extraBuffer.release();
    run.commentBuffer.release();
    run.closeCopy();
    if (run.copyName) {
        DeleteFileA(run.copyName);
        archive::heapFree(run.copyName);
        run.copyName = nullptr;
    }
    releasePathFilters();

    if (error != QZ_OK)
        return error;
    if (frame::g.moreStatus != QZ_OK)
        return QZ_SKIPPED;
    return run.processed == 0 ? QZ_NO_MORE_ENTRIES : QZ_OK;
}

}  // namespace

}  // namespace extract
}  // namespace qz

using namespace qz;
using namespace qz::extract;

QZ_API(int16_t) Qz4UnZip(QzHandle *archive, const char *destination, const char *outputName,
                          const char *includeList, const char *excludeList, const char *command) {
    frame::g.moreStatus = QZ_OK;
    Run run;
    run.handle = archive;
    run.outputName = outputName;
    run.include = includeList;
    run.exclude = excludeList;

    int16_t r = startRun(run, destination, command);
    if (r == QZ_OK) {
        r = run.walk(true);
        // A name that did not fit is a problem of its entry only when
        // names are read as UTF-8: the walk then goes on past it.
        while (r == QZ_OK || (r == QZ_TOO_LONG && extensionOn(QZ_EXT_UTF8_NAMES))) {
            run.nameTooLong = r == QZ_TOO_LONG;
            if (run.entry() == Step::Stop) {
                r = run.result;
                break;
            }
            run.closeCopy();
            r = run.walk(false);
        }
        if (r == QZ_NO_MORE_ENTRIES)
            r = QZ_OK;
    }
    return endRun(run, r);
}

QZ_API(int16_t) Qz4QUnZip(const char *archiveName, const char *destination, const char *includeList,
                           const char *command) {
    QzHandle handle;
    int16_t r = Qz4ZipOpen(archiveName, 0, &handle);
    if (r != QZ_OK)
        return r;
    r = Qz4UnZip(&handle, destination, nullptr, includeList, nullptr, command);
    Qz4ZipClose(&handle);
    return r;
}
