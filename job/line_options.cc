// The line options of the settings file as the run's filter.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "job/job_run.h"

namespace tovex {
namespace {

// Which key a usage error of the filter is about.
struct OptionKey {
  FilterOption option;
  std::string Settings::*field;
};
constexpr OptionKey kOptionKeys[] = {
    {FilterOption::kExcludeHosts, &Settings::exclude_hosts},
    {FilterOption::kExcludeBots, &Settings::exclude_bots},
    {FilterOption::kStatuses, &Settings::statuses},
    {FilterOption::kMethods, &Settings::methods},
    {FilterOption::kVhost, &Settings::vhost},
    {FilterOption::kTimeZone, &Settings::time_zone},
};

std::string_view KeyOf(std::string Settings::*field) {
  for (const LineKey& k : kLineKeys) {
    if (k.field == field) return k.key;
  }
  return {};
}

Status BadValue(const Settings& settings, std::string Settings::*field,
                std::string detail) {
  return Status::BadSetting(std::string(KeyOf(field)) + settings.*field,
                            std::move(detail));
}

// A switch: "1" on, "0" or nothing off.
Status Switch(const Settings& settings, std::string Settings::*field,
              bool* on) {
  const std::string& value = settings.*field;
  *on = value == "1";
  if (*on || value.empty() || value == "0") return Status::Ok();
  return BadValue(settings, field, "takes 1 (on) or 0 (off)");
}

// A list key holds one option value; empty: the option is off.
std::vector<std::string> ListOf(const std::string& value) {
  if (value.empty()) return {};
  return {value};
}

}  // namespace

Status MakeLineFilter(const Context& ctx, const Settings& settings,
                      std::unique_ptr<LineFilter>* filter) {
  FilterOptions options;
  options.exclude_hosts = ListOf(settings.exclude_hosts);
  options.statuses = ListOf(settings.statuses);
  options.methods = ListOf(settings.methods);
  options.vhost = settings.vhost;
  options.time_zone = settings.time_zone;
  TOVEX_RETURN_IF_ERROR(
      Switch(settings, &Settings::exclude_bots, &options.exclude_bots));
  TOVEX_RETURN_IF_ERROR(
      Switch(settings, &Settings::query_pages, &options.query_pages));
  TOVEX_RETURN_IF_ERROR(
      Switch(settings, &Settings::decode_paths, &options.decode_paths));
  std::unique_ptr<LineFilter> made;
  const FilterError error = LineFilter::Create(options, ctx.platform.fs, &made);
  if (!error.ok()) {
    for (const OptionKey& k : kOptionKeys) {
      if (k.option == error.option) {
        return BadValue(settings, k.field, error.text);
      }
    }
    return Status::BadSetting("", error.text);
  }
  if (made->active()) *filter = std::move(made);
  return Status::Ok();
}

}  // namespace tovex
