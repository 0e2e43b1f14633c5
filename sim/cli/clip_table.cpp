// clip-table: run by the build, writes the C++ source of the table of the
// generated clips' sounds (board/clip_tones.h), computed by the code that
// computed them at every start before.
//
//   clip-table OUT.cpp
#include <cstdio>

#include "board/clip_tones.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: clip-table OUT.cpp\n");
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "w");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  const auto clips = sim::compute_clip_sounds();
  if (clips.size() != 18) return 1;
  std::fprintf(f, "// Made by clip-table (sim/cli/clip_table.cpp) at build time; do not edit.\n");
  std::fprintf(f, "#include \"board/clip_tones.h\"\n\nnamespace sim {\n\n");
  std::fprintf(f, "const uint32_t kClipSoundLengths[18] = {");
  for (size_t i = 0; i < clips.size(); ++i) std::fprintf(f, "%s%zu", i ? ", " : "", clips[i].size());
  std::fprintf(f, "};\n\n// Every byte escaped, 32 a line.\nconst unsigned char kClipSoundBytes[] =");
  size_t n = 0;
  for (const auto& clip : clips) {
    for (uint8_t b : clip) {
      if (n % 32 == 0) std::fputs("\n    \"", f);
      std::fprintf(f, "\\x%02x", b);
      if (++n % 32 == 0) std::fputc('"', f);
    }
  }
  if (n % 32) std::fputc('"', f);
  std::fprintf(f, ";\n\n}  // namespace sim\n");
  if (std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
