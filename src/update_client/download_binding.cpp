#include "update_client/download_binding.h"

#include <dlfcn.h>

#include <cerrno>

#include "core/log_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace {
using HttpDownLoadFn = int (*)(const char* url, const char* path, const char* md5);
}  // namespace

int CallHttpDownLoad(const std::string& localPath, const std::string& url, const std::string& md5) {
  LogFile log;
  log.OpenDaily(logs::kDebug);
  log.WriteText("开始调用动态库文件Updater.dll");
  int result;
  std::string library = paths::Join(platform::ProgramFolder(), kDownloadLibraryName);
  // RTLD_LOCAL keeps two threads' handles independent; dlopen counts references, so a close
  // by one thread never unloads the library under another.
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    log.WriteText("Error");
    result = kDownloadLoadLibraryError;
  } else {
    ::dlerror();
    auto fn = reinterpret_cast<HttpDownLoadFn>(::dlsym(handle, kDownloadExportName));
    if (!fn) {
      // No last-error number on this side: errno is what the loader left behind.
      log.Write("Error:%d\n", errno);
      result = kDownloadGetProcAddressError;
    } else {
      result = fn(url.c_str(), paths::Native(localPath).c_str(), md5.c_str());
      if (md5.empty() && result == 108) result = kDownloadOk;
    }
    ::dlclose(handle);
  }
  log.WriteText("调用动态库文件Updater.dll结束");
  return result;
}

std::string DownloadErrorText(int code) {
  switch (code) {
    case 1:
      return "";
    case 101:
      return "下载功能中检测路径出错";
    case 102:
      return "下载功能中连接服务器失败";
    case 103:
      return "下载功能中发送HTTP请求错误";
    case 104:
      return "下载功能中获取HTTP服务器响应消息错误";
    case 105:
      return "下载功能中HTTP 404异常";
    case 106:
      return "下载功能中获取文件大小错误";
    case 107:
      return "下载功能中打开文件保存目录错误";
    case 108:
      return "下载功能中MD5校验错误";
    case 109:
      return "下载功能中Load Library错误";
    case 110:
      return "下载功能中GetProcAddress错误";
    default:
      return "其他错误";
  }
}
