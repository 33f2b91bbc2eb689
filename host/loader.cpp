#include "loader.h"

#include <dlfcn.h>

#include "text.h"

namespace host {
namespace {

// Looks up one entry point; dlsym's void * becomes the function type it is exported as.
template <typename Fn>
bool entry(void *handle, const char *name, Fn &fn, const std::string &path, std::string &err) {
  void *sym = dlsym(handle, name);
  if (sym == nullptr) {
    err = written(path) + " lacks the entry point " + name;
    return false;
  }
  fn = reinterpret_cast<Fn>(sym);
  return true;
}

}  // namespace

bool loadPlugin(const std::string &path, Plugin &plugin, std::string &err) {
  const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
  plugin.handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (plugin.handle == nullptr) {
    const char *why = dlerror();
    err = "cannot load " + written(path) + ": " + written(why != nullptr ? why : "unknown error");
    return false;
  }
  return entry(plugin.handle, "initializeServerPlugin", plugin.initializeServerPlugin, path, err) &&
         entry(plugin.handle, "noteUserCreation", plugin.noteUserCreation, path, err) &&
         entry(plugin.handle, "noteUserRoomEntry", plugin.noteUserRoomEntry, path, err) &&
         entry(plugin.handle, "noteUserDeletion", plugin.noteUserDeletion, path, err) &&
         entry(plugin.handle, "handleTimerEvent", plugin.handleTimerEvent, path, err);
}

}  // namespace host
