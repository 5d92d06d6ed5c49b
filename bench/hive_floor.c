/* The least any program must do to answer from the hive, or to replace it durably, as a
 * process of its own, so that cli_bench's floors cost no more than that:
 *
 *   hive_floor read FILE      open, fstat, one read into a buffer of the file's size
 *   hive_floor rewrite FILE   the same read, then the bytes written to a new name in the
 *                             same directory, fsync, rename over FILE, fsync the directory
 *
 * Plain C and system calls only: no streams, no C++ runtime to load. A short read or write
 * is continued, never taken for the whole file. Exits 0 only when every step succeeded. */
#define _GNU_SOURCE /* mkostemp */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int Fail(const char* step, const char* path) {
    fprintf(stderr, "hive_floor: %s %s: %s\n", step, path, strerror(errno));
    return 1;
}

/* Reads all of `path` into a new buffer; its size goes to *size. NULL on failure. */
static char* ReadWhole(const char* path, size_t* size) {
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return NULL;
    struct stat status;
    char* buffer = NULL;
    if (fstat(file, &status) == 0) {
        /* An empty hive is no hive: the program under test would not answer from it. */
        if (status.st_size > 0)
            buffer = malloc((size_t)status.st_size);
        else
            errno = ENODATA;
    }
    size_t done = 0;
    while (buffer && done < (size_t)status.st_size) {
        const ssize_t got = read(file, buffer + done, (size_t)status.st_size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            /* An error, or the file shrank under us: not the whole hive. */
            if (got == 0) errno = EIO;
            free(buffer);
            buffer = NULL;
            break;
        }
        done += (size_t)got;
    }
    close(file);
    *size = done;
    return buffer;
}

static int WriteAll(int file, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = write(file, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return -1;
        bytes += written;
        size -= (size_t)written;
    }
    return 0;
}

static int RewriteDurably(const char* path, const char* bytes, size_t size) {
    const char* slash = strrchr(path, '/');
    const size_t directoryLength = slash ? (size_t)(slash - path) : 0;
    char directoryName[4096], temporary[4096];
    if (directoryLength >= sizeof directoryName ||
        snprintf(temporary, sizeof temporary, "%s.floor-XXXXXX", path) >= (int)sizeof temporary) {
        errno = ENAMETOOLONG;
        return Fail("name", path);
    }
    if (slash) {
        memcpy(directoryName, path, directoryLength);
        directoryName[directoryLength] = '\0';
        if (directoryLength == 0) strcpy(directoryName, "/");
    } else {
        strcpy(directoryName, ".");
    }
    const int file = mkostemp(temporary, O_CLOEXEC);
    if (file < 0) return Fail("create", temporary);
    if (WriteAll(file, bytes, size) != 0 || fsync(file) != 0) {
        const int error = errno;
        close(file);
        unlink(temporary);
        errno = error;
        return Fail("write", temporary);
    }
    if (close(file) != 0 || rename(temporary, path) != 0) {
        const int error = errno;
        unlink(temporary);
        errno = error;
        return Fail("replace", path);
    }
    const int directory = open(directoryName, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0 || fsync(directory) != 0) return Fail("fsync", directoryName);
    close(directory);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "read") != 0 && strcmp(argv[1], "rewrite") != 0)) {
        fprintf(stderr, "Usage: hive_floor read|rewrite FILE\n");
        return 2;
    }
    size_t size = 0;
    char* bytes = ReadWhole(argv[2], &size);
    if (!bytes) return Fail("read", argv[2]);
    const int status = strcmp(argv[1], "rewrite") == 0 ? RewriteDurably(argv[2], bytes, size) : 0;
    free(bytes);
    return status;
}
