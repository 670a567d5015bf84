/* The benchmark's libzip peer: the three operations the archive benchmark
 * times, done through libzip the way a program using it would do them.
 *
 *   libzip_peer list ARCHIVE            one line per entry: name, sizes, CRC-32
 *   libzip_peer extract ARCHIVE NAME DIR
 *                                       writes entry NAME to DIR/NAME
 *   libzip_peer extract-all ARCHIVE DIR
 *                                       writes every entry below DIR
 *   libzip_peer update ARCHIVE NAME FILE
 *                                       replaces entry NAME with FILE's bytes
 *
 * Exit status 0 on success, 1 with a message on standard error otherwise.
 * Built only for the benchmark (bench/archive.sh). */
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <zip.h>

static int fail(const char* what, const char* detail) {
    fprintf(stderr, "libzip_peer: %s: %s\n", what, detail);
    return 1;
}

static zip_t* open_archive(const char* path, int flags) {
    int error = 0;
    zip_t* archive = zip_open(path, flags, &error);
    if (archive == NULL) {
        zip_error_t message;
        zip_error_init_with_code(&message, error);
        fail(path, zip_error_strerror(&message));
        zip_error_fini(&message);
    }
    return archive;
}

static int list(const char* path) {
    zip_t* archive = open_archive(path, ZIP_RDONLY);
    if (archive == NULL) {
        return 1;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, (zip_uint64_t)i, 0, &st) == 0) {
            printf("%s\t%" PRIu64 "\t%" PRIu64 "\t%08x\n", st.name, st.comp_size, st.size,
                   (unsigned)st.crc);
        }
    }
    zip_discard(archive);
    return 0;
}

/* Makes every folder of `path` below its last "/". */
static void make_folders(char* path) {
    for (char* p = path + 1; *p != '\0'; ++p) {
        if (*p == '/') {
            *p = '\0';
            mkdir(path, 0777);
            *p = '/';
        }
    }
}

/* Writes one entry, opened by name, to FOLDER/NAME; a name ending in "/"
 * makes its folder only. */
static int extract_entry(zip_t* archive, const char* name, const char* folder) {
    const size_t length = strlen(folder) + 1 + strlen(name) + 1;
    char* target = malloc(length);
    snprintf(target, length, "%s/%s", folder, name);
    make_folders(target);
    if (name[0] == '\0' || name[strlen(name) - 1] == '/') {
        free(target);
        return 0;
    }
    int status = 1;
    zip_file_t* entry = zip_fopen(archive, name, 0);
    if (entry == NULL) {
        fail(name, zip_strerror(archive));
    } else {
        FILE* out = fopen(target, "wb");
        if (out == NULL) {
            fail(target, strerror(errno));
        } else {
            char buffer[65536];
            zip_int64_t got;
            status = 0;
            while ((got = zip_fread(entry, buffer, sizeof buffer)) > 0) {
                if (fwrite(buffer, 1, (size_t)got, out) != (size_t)got) {
                    status = fail(target, strerror(errno));
                    break;
                }
            }
            if (got < 0) {
                status = fail(name, zip_file_strerror(entry));
            }
            if (fclose(out) != 0) {
                status = fail(target, strerror(errno));
            }
        }
        zip_fclose(entry);
    }
    free(target);
    return status;
}

static int extract(const char* path, const char* name, const char* folder) {
    zip_t* archive = open_archive(path, ZIP_RDONLY);
    if (archive == NULL) {
        return 1;
    }
    const int status = extract_entry(archive, name, folder);
    zip_discard(archive);
    return status;
}

static int extract_all(const char* path, const char* folder) {
    zip_t* archive = open_archive(path, ZIP_RDONLY);
    if (archive == NULL) {
        return 1;
    }
    mkdir(folder, 0777);
    int status = 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && status == 0; ++i) {
        const char* name = zip_get_name(archive, (zip_uint64_t)i, 0);
        status =
            name == NULL ? fail(path, zip_strerror(archive)) : extract_entry(archive, name, folder);
    }
    zip_discard(archive);
    return status;
}

static int update(const char* path, const char* name, const char* file) {
    zip_t* archive = open_archive(path, 0);
    if (archive == NULL) {
        return 1;
    }
    const zip_int64_t index = zip_name_locate(archive, name, 0);
    zip_source_t* source = index < 0 ? NULL : zip_source_file(archive, file, 0, -1);
    if (source == NULL || zip_file_replace(archive, (zip_uint64_t)index, source, 0) < 0) {
        if (source != NULL) {
            zip_source_free(source);
        }
        fail(name, zip_strerror(archive));
        zip_discard(archive);
        return 1;
    }
    if (zip_close(archive) < 0) {
        fail(path, zip_strerror(archive));
        zip_discard(archive);
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "list") == 0) {
        return list(argv[2]);
    }
    if (argc == 5 && strcmp(argv[1], "extract") == 0) {
        return extract(argv[2], argv[3], argv[4]);
    }
    if (argc == 4 && strcmp(argv[1], "extract-all") == 0) {
        return extract_all(argv[2], argv[3]);
    }
    if (argc == 5 && strcmp(argv[1], "update") == 0) {
        return update(argv[2], argv[3], argv[4]);
    }
    fprintf(stderr,
            "usage: libzip_peer list ARCHIVE | extract ARCHIVE NAME DIR | "
            "extract-all ARCHIVE DIR | update ARCHIVE NAME FILE\n");
    return 2;
}
