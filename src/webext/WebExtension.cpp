// The web-process end of window.external: one socket per page to the UI process,
// the bridge and the link recorder installed in every frame, and native-to-page
// calls served both while the page is idle and while it waits inside a call.
#include <glib-unix.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/Text.h"
#include "logger/LoggerSetup.h"
#include "pagehost/wire/PageAccess.h"
#include "pagehost/wire/PageWire.h"
#include "webext/PageScript.h"

namespace wendrake::webext {
namespace {

wire::ExtensionSettings gSettings;

// How long a page call may spin for its reply before it sleeps: the page's script
// waits either way.
wire::SpinPolicy gReplySpin{100};

struct PageLink {
  // The main frame as its window objects are cleared (weak), where native code
  // calls page functions.
  WebKitFrame* mainFrame = nullptr;
  int fd = -1;
  guint watch = 0;
  guint drain = 0;  // frames read ahead, waiting for the main loop
  wire::FrameReader reader;
  std::uint32_t nextRequest = 1;
  // The calls waiting for their replies, innermost last. A request of the UI
  // process may cross a call on its way: the call's reply can then come while a
  // call made inside that request waits, and is kept here until its wait resumes.
  std::vector<std::uint32_t> waiting;
  std::map<std::uint32_t, wire::CallReply> repliesAhead;
  // Native paths of the files last chosen for the page, until its script takes them.
  std::optional<std::vector<std::u16string>> chosenFiles;

  void SetMainFrame(WebKitFrame* frame) {
    if (frame == mainFrame) return;
    if (mainFrame) g_object_remove_weak_pointer(G_OBJECT(mainFrame), reinterpret_cast<gpointer*>(&mainFrame));
    mainFrame = frame;
    if (mainFrame) g_object_add_weak_pointer(G_OBJECT(mainFrame), reinterpret_cast<gpointer*>(&mainFrame));
  }
  ~PageLink() { SetMainFrame(nullptr); }
};
using LinkRef = std::shared_ptr<PageLink>;

constexpr char kLinkKey[] = "wendrake-page-link";

void Break(PageLink& link) {
  if (link.watch) g_source_remove(link.watch);
  link.watch = 0;
  if (link.drain) g_source_remove(link.drain);
  link.drain = 0;
  if (link.fd >= 0) ::close(link.fd);
  link.fd = -1;
}

LinkRef LinkOf(WebKitWebPage* page) {
  auto* link = static_cast<LinkRef*>(g_object_get_data(G_OBJECT(page), kLinkKey));
  return link ? *link : nullptr;
}

std::string Utf8Of(JSCValue* value) {
  g_autoptr(GBytes) bytes = jsc_value_to_string_as_bytes(value);
  if (!bytes) return {};
  gsize size = 0;
  const void* data = g_bytes_get_data(bytes, &size);
  return std::string(static_cast<const char*>(data), size);
}

JSCValue* NewString(JSCContext* context, const std::u16string& text) {
  const std::string utf8 = ToUtf8(text);
  g_autoptr(GBytes) bytes = g_bytes_new(utf8.data(), utf8.size());
  JSCValue* value = jsc_value_new_string_from_bytes(context, bytes);
  return value;
}

// A whole number in the 32-bit range is an integer, as the Windows engine passed it.
PageValue ToPageValue(JSCContext* context, JSCValue* value, bool& threw) {
  threw = false;
  if (jsc_value_is_undefined(value)) return Undefined{};
  if (jsc_value_is_null(value)) return Null{};
  if (jsc_value_is_boolean(value)) return static_cast<bool>(jsc_value_to_boolean(value));
  if (jsc_value_is_number(value)) {
    const double d = jsc_value_to_double(value);
    if (std::isfinite(d) && d == std::trunc(d) && d >= std::numeric_limits<std::int32_t>::min() && d <= std::numeric_limits<std::int32_t>::max())
      return static_cast<std::int32_t>(d);
    return d;
  }
  const bool isString = jsc_value_is_string(value);
  std::string text = Utf8Of(value);
  if (jsc_context_get_exception(context)) {
    threw = true;
    return Undefined{};
  }
  if (isString) return ToUtf16(text);
  return ObjectValue{ToUtf16(text)};
}

JSCValue* ToScriptValue(JSCContext* context, const MethodResult& result) {
  return std::visit(
      [context](const auto& v) -> JSCValue* {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>)
          return jsc_value_new_undefined(context);
        else if constexpr (std::is_same_v<T, std::int32_t>)
          return jsc_value_new_number(context, v);
        else if constexpr (std::is_same_v<T, bool>)
          return jsc_value_new_boolean(context, v);
        else if constexpr (std::is_same_v<T, std::u16string>)
          return NewString(context, v);
        else {
          JSCValue* array = jsc_value_new_array(context, G_TYPE_NONE);
          for (guint i = 0; i < v.size(); ++i) {
            g_autoptr(JSCValue) item = NewString(context, v[i]);
            jsc_value_object_set_property_at_index(array, i, item);
          }
          return array;
        }
      },
      result);
}

// Runs a function of the page's main frame; only pages that may reach the bridge
// may be reached from it.
HRESULT RunPageFunction(WebKitFrame* frame, const wire::PageFunction& request) {
  const char* uri = frame ? webkit_frame_get_uri(frame) : nullptr;
  if (!uri || !wire::IsPageAllowed(uri, gSettings.uiFolderUri, gSettings.siteOrigin)) return DISP_E_UNKNOWNNAME;
  g_autoptr(JSCContext) context(webkit_frame_get_js_context_for_script_world(frame, webkit_script_world_get_default()));
  jsc_context_clear_exception(context);
  g_autoptr(JSCValue) global(jsc_context_get_global_object(context));
  g_autoptr(JSCValue) function(jsc_value_object_get_property(global, ToUtf8(request.name).c_str()));
  HRESULT code = S_OK;
  if (jsc_context_get_exception(context)) {
    code = DISP_E_EXCEPTION;
  } else if (!jsc_value_is_function(function)) {
    code = DISP_E_UNKNOWNNAME;
  } else {
    g_autoptr(GPtrArray) arguments = g_ptr_array_new_with_free_func(g_object_unref);
    for (const auto& argument : request.arguments) g_ptr_array_add(arguments, NewString(context, argument));
    g_autoptr(JSCValue) result = jsc_value_function_callv(function, arguments->len, reinterpret_cast<JSCValue**>(arguments->pdata));
    if (jsc_context_get_exception(context)) code = DISP_E_EXCEPTION;
  }
  // An exception left here would surface in a window.external call that waits
  // further up the stack.
  jsc_context_clear_exception(context);
  return code;
}

// Serves what the UI process asks of the page; false when the message is no request.
bool ServeRequest(const LinkRef& link, wire::Message& message) {
  std::uint32_t id = 0;
  HRESULT code = S_OK;
  if (auto* function = std::get_if<wire::PageFunction>(&message)) {
    id = function->id;
    code = link->mainFrame ? RunPageFunction(link->mainFrame, *function) : DISP_E_UNKNOWNNAME;
  } else if (auto* chosen = std::get_if<wire::ChosenFiles>(&message)) {
    id = chosen->id;
    link->chosenFiles = std::move(chosen->paths);
  } else {
    return false;
  }
  if (link->fd >= 0 && !wire::Send(link->fd, wire::PageFunctionReply{id, code})) Break(*link);
  return true;
}

gpointer NewLinkRef(const LinkRef& link) { return new LinkRef(link); }
void DeleteLinkRef(gpointer data) { delete static_cast<LinkRef*>(data); }

// Serves the requests read so far; false when the link broke.
bool ServeBuffered(const LinkRef& link) {
  while (link->fd >= 0 && link->reader.HasFrame()) {
    wire::Message message;
    if (link->reader.Next(link->fd, message) != wire::ReadStatus::Ok || !ServeRequest(link, message)) return false;
  }
  return true;
}

// Requests read ahead by a wait that has ended; the socket's watch cannot see them.
void DrainLater(const LinkRef& link) {
  if (link->drain || !link->reader.HasFrame()) return;
  link->drain = g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        const LinkRef link = *static_cast<LinkRef*>(data);
        link->drain = 0;
        if (!ServeBuffered(link)) Break(*link);
        return G_SOURCE_REMOVE;
      },
      NewLinkRef(link), DeleteLinkRef);
}

// Waits for the reply to one call, serving the UI process's requests meanwhile.
bool AwaitReply(const LinkRef& link, std::uint32_t id, wire::CallReply& reply) {
  link->waiting.push_back(id);
  bool replied = false;
  while (link->fd >= 0) {
    if (auto ahead = link->repliesAhead.extract(id)) {
      reply = std::move(ahead.mapped());
      replied = true;
      break;
    }
    wire::Message message;
    if (link->reader.Next(link->fd, message, -1, &gReplySpin) != wire::ReadStatus::Ok) break;
    if (auto* r = std::get_if<wire::CallReply>(&message)) {
      if (r->id == id) {
        reply = std::move(*r);
        replied = true;
        break;
      }
      if (std::find(link->waiting.begin(), link->waiting.end(), r->id) != link->waiting.end()) {
        link->repliesAhead.insert_or_assign(r->id, std::move(*r));
        continue;
      }
    }
    if (ServeRequest(link, message)) continue;
    // Kind and id say which side lost its step, should this ever happen again.
    g_warning("unexpected message (kind %zu, id %u) while waiting for the reply to %u", message.index(),
              std::visit(
                  [](const auto& m) -> std::uint32_t {
                    if constexpr (requires { m.id; })
                      return m.id;
                    else
                      return 0;
                  },
                  message),
              id);
    break;
  }
  link->waiting.pop_back();
  if (!replied) {
    Break(*link);
    return false;
  }
  DrainLater(link);
  return true;
}

gboolean OnIdleReadable(gint, GIOCondition, gpointer data) {
  const LinkRef link = *static_cast<LinkRef*>(data);
  wire::Message message;
  if (link->fd >= 0 && link->reader.Next(link->fd, message) == wire::ReadStatus::Ok && ServeRequest(link, message) && ServeBuffered(link))
    return G_SOURCE_CONTINUE;
  // Returning REMOVE drops the source, so Break must not remove it again.
  link->watch = 0;
  Break(*link);
  return G_SOURCE_REMOVE;
}

void Throw(JSCContext* context, HRESULT code) {
  const std::string_view name = HResultName(code);
  const std::string message = std::to_string(code) + ":" + (name.empty() ? "error" : std::string(name));
  jsc_context_throw_with_name(context, kRefusalName, message.c_str());
}

// window.external's native half: (member ID, arguments...) → result, or throws.
JSCValue* OnExternalCall(GPtrArray* values, gpointer data) {
  const LinkRef link = *static_cast<LinkRef*>(data);
  JSCContext* context = jsc_context_get_current();
  // What the context still holds belongs to an earlier call, already thrown.
  jsc_context_clear_exception(context);
  if (values->len < 1) {
    Throw(context, DISP_E_MEMBERNOTFOUND);
    return nullptr;
  }
  wire::Call call{0, jsc_value_to_int32(static_cast<JSCValue*>(values->pdata[0])), {}};
  call.arguments.reserve(values->len - 1);
  for (guint i = 1; i < values->len; ++i) {
    bool threw = false;
    call.arguments.push_back(ToPageValue(context, static_cast<JSCValue*>(values->pdata[i]), threw));
    if (threw) return nullptr;  // the conversion's own exception goes to the page
  }
  if (link->fd < 0) {
    Throw(context, E_FAIL);
    return nullptr;
  }
  call.id = link->nextRequest++;
  wire::CallReply reply;
  if (!wire::Send(link->fd, call)) {
    Break(*link);
    Throw(context, E_FAIL);
    return nullptr;
  }
  if (!AwaitReply(link, call.id, reply)) {
    Throw(context, E_FAIL);
    return nullptr;
  }
  if (reply.code != S_OK) {
    Throw(context, reply.code);
    return nullptr;
  }
  return ToScriptValue(context, reply.result);
}

// Tells the UI process what happened in the page and waits until it has dealt with it.
template <typename Event>
void Tell(const LinkRef& link, Event event) {
  if (link->fd < 0) return;
  event.id = link->nextRequest++;
  if (!wire::Send(link->fd, event)) {
    Break(*link);
    return;
  }
  wire::CallReply reply;
  AwaitReply(link, event.id, reply);
}

// The UI process has the link before the click's default action asks it for a
// new window.
void OnLinkClicked(const char* address, gpointer data) {
  if (address) Tell(*static_cast<LinkRef*>(data), wire::LinkClicked{0, ToUtf16(address)});
}

// The page's KeyPressed has run before the page sees its next key.
void OnKeyPressed(const char* key, gpointer data) {
  if (key) Tell(*static_cast<LinkRef*>(data), wire::KeyPressed{0, ToUtf16(key)});
}

// The paths the UI process sent for the files just chosen, once; null when none.
JSCValue* OnTakeChosenFiles(gpointer data) {
  const LinkRef link = *static_cast<LinkRef*>(data);
  JSCContext* context = jsc_context_get_current();
  if (!link->chosenFiles) return jsc_value_new_null(context);
  JSCValue* array = jsc_value_new_array(context, G_TYPE_NONE);
  for (guint i = 0; i < link->chosenFiles->size(); ++i) {
    g_autoptr(JSCValue) path = NewString(context, (*link->chosenFiles)[i]);
    jsc_value_object_set_property_at_index(array, i, path);
  }
  link->chosenFiles.reset();
  return array;
}

JSCValue* NameList(JSCContext* context, const std::vector<std::string>& names) {
  std::vector<const char*> list;
  for (const auto& name : names) list.push_back(name.c_str());
  list.push_back(nullptr);
  return jsc_value_new_array_from_strv(context, list.data());
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
  LinkRef link = LinkOf(page);
  if (!link) return;
  if (webkit_frame_is_main_frame(frame)) link->SetMainFrame(frame);
  const char* uri = webkit_frame_get_uri(frame);
  const bool allowed = uri && wire::IsPageAllowed(uri, gSettings.uiFolderUri, gSettings.siteOrigin);
  // Only the installation's own pages learn where a chosen file lies.
  const bool installationPage = uri && wire::IsPageAllowed(uri, gSettings.uiFolderUri, "");

  g_autoptr(JSCContext) context(webkit_frame_get_js_context_for_script_world(frame, world));
  g_autoptr(GBytes) script = g_resources_lookup_data(kPageScriptResource, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  gsize scriptSize = 0;
  const auto* scriptText = script ? static_cast<const char*>(g_bytes_get_data(script, &scriptSize)) : nullptr;
  g_autoptr(JSCValue) install(
      scriptText ? jsc_context_evaluate_with_source_uri(context, scriptText, static_cast<gssize>(scriptSize), "wendrake:page-bridge", 1) : nullptr);
  g_autoptr(JSCValue)
      call(allowed ? jsc_value_new_function_variadic(context, "external", G_CALLBACK(OnExternalCall), NewLinkRef(link), DeleteLinkRef, JSC_TYPE_VALUE)
                   : jsc_value_new_null(context));
  g_autoptr(JSCValue) clicked(
      jsc_value_new_function(context, "linkClicked", G_CALLBACK(OnLinkClicked), NewLinkRef(link), DeleteLinkRef, G_TYPE_NONE, 1, G_TYPE_STRING));
  g_autoptr(JSCValue) keyPressed(
      jsc_value_new_function(context, "keyPressed", G_CALLBACK(OnKeyPressed), NewLinkRef(link), DeleteLinkRef, G_TYPE_NONE, 1, G_TYPE_STRING));
  g_autoptr(JSCValue) nameList(allowed ? NameList(context, gSettings.methodNames) : jsc_value_new_null(context));
  // window.wendrake: what the program offers beyond window.external, to its own pages alone.
  g_autoptr(JSCValue) programNameList(installationPage ? NameList(context, gSettings.programMethodNames) : jsc_value_new_null(context));
  g_autoptr(JSCValue) programBase(jsc_value_new_number(context, gSettings.programMemberBase));
  g_autoptr(JSCValue) unknownName(jsc_value_new_number(context, DISP_E_UNKNOWNNAME));
  g_autoptr(JSCValue) refusalName(jsc_value_new_string(context, kRefusalName));
  g_autoptr(JSCValue) chosenFiles(installationPage ? jsc_value_new_function(context, "chosenFiles", G_CALLBACK(OnTakeChosenFiles), NewLinkRef(link),
                                                                            DeleteLinkRef, JSC_TYPE_VALUE, 0)
                                                   : jsc_value_new_null(context));
  JSCValue* arguments[] = {call, clicked, keyPressed, nameList, unknownName, refusalName, chosenFiles, programNameList, programBase};
  if (install && jsc_value_is_function(install)) {
    g_autoptr(JSCValue) result = jsc_value_function_callv(install, G_N_ELEMENTS(arguments), arguments);
  } else if (!script) {
    g_warning("the page bridge's script is missing from the extension's resources");
  }
  if (JSCException* exception = jsc_context_get_exception(context)) {
    g_warning("page bridge not installed: %s", jsc_exception_get_message(exception));
    jsc_context_clear_exception(context);
  }
}

void OnPageDestroyed(gpointer data, GObject*) {
  auto* link = static_cast<LinkRef*>(data);
  (*link)->SetMainFrame(nullptr);
  Break(**link);
  delete link;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  auto link = std::make_shared<PageLink>();
  const std::uint64_t pageId = webkit_web_page_get_id(page);
  sockaddr_un address;
  if (!wire::SocketAddress(gSettings.socketPath, address)) {
    g_warning("page %" G_GUINT64_FORMAT " cannot reach the UI process: %s is too long a socket path", pageId, gSettings.socketPath.c_str());
  } else if (const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
             fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
             !wire::Send(fd, wire::Hello{gSettings.secret, pageId})) {
    g_warning("page %" G_GUINT64_FORMAT " cannot reach the UI process: %s", pageId, g_strerror(errno));
    if (fd >= 0) ::close(fd);
  } else {
    link->fd = fd;
    link->watch = g_unix_fd_add_full(G_PRIORITY_DEFAULT, fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnIdleReadable,
                                     NewLinkRef(link), DeleteLinkRef);
  }
  // The page keeps one reference; the watch and every installed function hold theirs.
  g_object_set_data(G_OBJECT(page), kLinkKey, new LinkRef(link));
  g_object_weak_ref(G_OBJECT(page), OnPageDestroyed, g_object_get_data(G_OBJECT(page), kLinkKey));
}

}  // namespace
}  // namespace wendrake::webext

extern "C" __attribute__((visibility("default"))) void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                                                      const GVariant* data) {
  using namespace wendrake::webext;
  if (!wendrake::wire::ReadSettings(const_cast<GVariant*>(data), gSettings)) {
    g_warning("web extension started without its settings");
    return;
  }
  // So that the one log a player sends holds what went wrong in the pages' processes too.
  if (!gSettings.diagnosticsLog.empty()) {
    static const wendrake::CStaticLogger logger(wendrake::CStaticLogger::kLogFile, gSettings.diagnosticsLog);
    wendrake::StartLogging(logger);
  }
  g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(OnWindowObjectCleared), nullptr);
}
