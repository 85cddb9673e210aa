#include "support/compile_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "base/cp932.h"
#include "base/locale.h"
#include "compiler/compile.h"
#include "output/krb_reader.h"
#include "support/temp_dir.h"
#include "tools/tallowc.h"

namespace tallow::testing {

CompileResult compileIntermediate(std::string_view text,
                                  const std::function<void(CompileJob&)>& setup) {
  TempDir dir;
  dir.write("inter.txt", "# 1 song.mml\n" + std::string(text));
  CompileResult result;
  result.job.sourcePath = "song.mml";
  result.job.intermediatePath = dir.file("inter.txt");
  if (setup) setup(result.job);
  StringOutStream out;
  ProgramContext program;
  program.out = &out;
  program.err = &out;
  result.status = compile(result.job, program);
  result.out = out.text();
  if (!result.job.outputImage.empty()) {
    const uint8_t* data = result.job.outputImage.data();
    result.image.assign(data, data + result.job.outputSize);
  }
  return result;
}

bool saidNothing(const CompileResult& result) {
  return result.out == toCp932("[ MML to KRB Compiler 'TC' version 3.19w(KR3対応) ]\n\n");
}

std::string toHex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
    out += buf;
  }
  return out;
}

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::istringstream in(hex);
  std::vector<uint8_t> out;
  std::string byte;
  while (in >> byte) out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return out;
}

std::string partHex(const CompileResult& result, int part) {
  std::string error;
  std::optional<KrbFile> file = readKrb(result.image, error);
  if (!file) return error;
  std::span<const uint8_t> stream = file->partStream(part);
  return toHex(std::vector<uint8_t>(stream.begin(), stream.end()));
}

DriverResult runProgram(const std::vector<std::string>& args, const Environment& env) {
  StringOutStream out;
  StringOutStream err;
  ProgramContext program;
  program.env = env;
  program.out = &out;
  program.err = &err;
  out.setLanguage(languageOf(env));
  err.setLanguage(languageOf(env));
  DriverResult result;
  result.status = tools::runDriver(args, program);
  result.out = out.text();
  result.err = err.text();
  return result;
}

void checkStreamCase(const StreamCase& c) {
  CompileResult r = compileIntermediate(c.text, [&](CompileJob& j) { j.optimize = c.raw ? 0 : 1; });
  if (c.message.empty()) {
    EXPECT_TRUE(saidNothing(r)) << r.out;
  } else {
    EXPECT_NE(r.out.find(toCp932(c.message)), std::string::npos) << r.out;
  }
  if (c.stream.empty()) {
    EXPECT_EQ(r.status, 1) << r.out;
    return;
  }
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(partHex(r, c.part), c.stream);
  if (c.steps) {
    EXPECT_EQ(r.job.partSteps[c.part], *c.steps);
  }
  if (c.loopSteps) {
    EXPECT_EQ(r.job.partLoopSteps[c.part], *c.loopSteps);
  }
}

}  // namespace tallow::testing
