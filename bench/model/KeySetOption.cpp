#include "bench/model/KeySetOption.h"

#include <cstdint>
#include <memory>
#include <variant>

namespace bench {

namespace {

// One key per slot 0 .. key space.
constexpr int64_t kMaxKeys = int64_t{kMaxKeySpace} + 1;

}  // namespace

std::optional<std::string> useKeyFile(const std::string& path, const std::string& formatName,
                                      WorkloadConfig& config) {
  std::optional<test::KeyFormat> format =
      formatName.empty() ? test::keyFormatOfName(path) : test::parseKeyFormat(formatName);
  if (!format) {
    return "--keys " + path +
           ": the format is not known from the name (ending _uint32, _uint64 or .txt); give "
           "--key-format sosd32, sosd64 or text";
  }
  auto read = test::readKeyFile(path, *format);
  if (const std::string* problem = std::get_if<std::string>(&read))
    return "--keys " + *problem;
  auto file = std::make_shared<test::KeyFile>(std::move(std::get<test::KeyFile>(read)));
  const int64_t count = std::ssize(file->keys);
  const std::string holds = "--keys " + path + " holds " + std::to_string(count) + " distinct key" +
                            (count == 1 ? "" : "s");
  if (count < 2)
    return holds + ", fewer than the 2 a workload needs";
  if (count > kMaxKeys)
    return holds + ", more than the " + std::to_string(kMaxKeys) + " the workload can address";
  config.keySpace = static_cast<int32_t>(count - 1);
  config.keySet = std::move(file);
  config.keyFile = path;
  config.keyFormat = test::keyFormatName(*format);
  return std::nullopt;
}

int64_t keySetBytes(const WorkloadConfig& config) {
  return config.keySet ? std::ssize(config.keySet->keys) * int64_t{sizeof(int32_t)} : 0;
}

std::string keySetText(const WorkloadConfig& config) {
  if (!config.keySet)
    return "";
  return config.keySet->name + ", " + std::to_string(config.keySet->keys.size()) + " keys, hash " +
         config.keySet->hashText();
}

}  // namespace bench
