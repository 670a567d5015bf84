/* The collection benchmark's floor: the least a preparation of a JAR must
 * do, which is to write its bytes into a new file and flush that file.
 *
 *   copy_floor [--folders] LIST FOLDER
 *
 * Copies every JAR named in LIST (one path a line) into FOLDER/NNNNN.jar, a
 * file that must not exist yet, and flushes each copy's data (fdatasync)
 * before the next. With --folders, each copy goes into a new folder of its
 * own, FOLDER/NNNNN/NNNNN.jar, as every project has one: what the file
 * system's work for a folder a JAR adds to the floor. Exit status 0 on
 * success, 1 with a message on standard error otherwise. Built only for the
 * benchmark (bench/collection.sh). */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kBufferSize = 1 << 20 };

static int fail(const char* what, const char* path) {
    fprintf(stderr, "copy_floor: %s %s: %s\n", what, path, strerror(errno));
    return 1;
}

static int write_all(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        bytes += written;
        count -= (size_t)written;
    }
    return 0;
}

static int copy_one(const char* source, const char* target, char* buffer) {
    int in = open(source, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return fail("cannot open", source);
    }
    int out = open(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        return fail("cannot create", target);
    }
    int status = 0;
    for (;;) {
        ssize_t got = read(in, buffer, kBufferSize);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            status = fail("cannot read", source);
            break;
        }
        if (write_all(out, buffer, (size_t)got) != 0) {
            status = fail("cannot write", target);
            break;
        }
    }
    if (status == 0 && fdatasync(out) != 0) {
        status = fail("cannot flush", target);
    }
    if (close(out) != 0 && status == 0) {
        status = fail("cannot close", target);
    }
    close(in);
    return status;
}

/* The copy's name for JAR `number`, its folder made first with --folders. */
static int name_copy(char* target, size_t size, const char* folder, unsigned long number,
                     int folders) {
    int made = folders ? snprintf(target, size, "%s/%05lu", folder, number)
                       : snprintf(target, size, "%s/%05lu.jar", folder, number);
    if (made < 0 || (size_t)made + sizeof "/00000.jar" > size) {
        fprintf(stderr, "copy_floor: the folder's name is too long\n");
        return 1;
    }
    if (!folders) {
        return 0;
    }
    if (mkdir(target, 0755) != 0) {
        return fail("cannot make", target);
    }
    snprintf(target + made, size - (size_t)made, "/%05lu.jar", number);
    return 0;
}

int main(int argc, char** argv) {
    int folders = argc == 4 && strcmp(argv[1], "--folders") == 0;
    if (argc != 3 + folders) {
        fprintf(stderr, "usage: copy_floor [--folders] LIST FOLDER\n");
        return 1;
    }
    const char* list_name = argv[1 + folders];
    const char* folder = argv[2 + folders];
    FILE* list = fopen(list_name, "r");
    if (list == NULL) {
        return fail("cannot open", list_name);
    }
    char* buffer = malloc(kBufferSize);
    if (buffer == NULL) {
        fprintf(stderr, "copy_floor: out of memory\n");
        return 1;
    }
    char* line = NULL;
    size_t capacity = 0;
    ssize_t length;
    unsigned long number = 0;
    int status = 0;
    char target[4096];
    while (status == 0 && (length = getline(&line, &capacity, list)) > 0) {
        if (line[length - 1] == '\n') {
            line[length - 1] = '\0';
        }
        if (line[0] == '\0') {
            continue;
        }
        status = name_copy(target, sizeof target, folder, number++, folders);
        if (status == 0) {
            status = copy_one(line, target, buffer);
        }
    }
    if (status == 0 && ferror(list)) {
        status = fail("cannot read", list_name);
    }
    free(line);
    free(buffer);
    fclose(list);
    return status;
}
