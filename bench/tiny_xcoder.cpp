// The smallest converter that behaves like the real one towards the program: its probe prints a
// duration and fails as the real one does without an output, its conversion writes a byte and
// reports the whole run's position. For benchmarks of the program's own cost per file.

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "-y") != 0) {
        std::fputs("  Duration: 00:00:01.00, start: 0.000000, bitrate: 1 kb/s\n"
                   "At least one output file must be specified\n",
                   stderr);
        return 1;
    }
    std::FILE* output = std::fopen(argv[argc - 1], "wb");
    if (output == nullptr || std::fputc('x', output) == EOF || std::fclose(output) != 0) {
        std::perror(argv[argc - 1]);
        return 1;
    }
    std::fputs("frame=    1 fps=0.0 q=0.0 Lsize=       0kB time=00:00:01.00 bitrate=   1.0kbits/s\n",
               stderr);
    return 0;
}
