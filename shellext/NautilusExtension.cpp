// The Nautilus extension module (libnautilus-extension 4): one menu provider that offers the
// entry "发送至Corvena同步目录" for the first chosen local file or folder and sends it through
// CCountLines when it is activated. Nautilus calls the provider and the entry's activation on
// its main thread; the copy runs on a thread of its own. Only the three module entry points
// are exported.

#include <gio/gio.h>
#include <glib-object.h>
// The header declares the module entry points without C linkage of its own.
extern "C" {
#include <nautilus-extension.h>
}

#include <filesystem>

#include "shellext/CountLines.h"
#include "shellext/SendThreads.h"

namespace {

constexpr const char* kItemName = "CorvenaSend::Send";
constexpr const char* kPathKey = "corvena-send-path";

GType g_providerTypes[1];

void OnActivate(NautilusMenuItem* item, gpointer) {
    const auto* path = static_cast<const char*>(g_object_get_data(G_OBJECT(item), kPathKey));
    CCountLines entry;
    entry.Initialize({std::filesystem::path(path)});
    entry.InvokeCommand(kSendCommand);
}

// Nautilus hands over the chosen items in the order the user chose them; only the first is
// sent. A remote item (no local path) gets no entry: there is nothing to copy from.
GList* GetFileItems(NautilusMenuProvider*, GList* files) {
    if (files == nullptr) {
        return nullptr;
    }
    GFile* location = nautilus_file_info_get_location(NAUTILUS_FILE_INFO(files->data));
    char* path = location != nullptr ? g_file_get_path(location) : nullptr;
    g_clear_object(&location);
    if (path == nullptr) {
        return nullptr;
    }
    NautilusMenuItem* item = nautilus_menu_item_new(kItemName, kMenuText, kHelpText, nullptr);
    g_object_set_data_full(G_OBJECT(item), kPathKey, path, g_free);
    g_signal_connect(item, "activate", G_CALLBACK(OnActivate), nullptr);
    return g_list_append(nullptr, item);
}

}  // namespace

struct CorvenaMenuProvider {
    GObject parent;
};

struct CorvenaMenuProviderClass {
    GObjectClass parentClass;
};

static void corvena_menu_provider_iface_init(NautilusMenuProviderInterface* iface) {
    iface->get_file_items = GetFileItems;
}

G_DEFINE_DYNAMIC_TYPE_EXTENDED(CorvenaMenuProvider, corvena_menu_provider, G_TYPE_OBJECT, 0,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_MENU_PROVIDER,
                                                             corvena_menu_provider_iface_init))

static void corvena_menu_provider_init(CorvenaMenuProvider*) {}
static void corvena_menu_provider_class_init(CorvenaMenuProviderClass*) {}
static void corvena_menu_provider_class_finalize(CorvenaMenuProviderClass*) {}

extern "C" {

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module) {
    corvena_menu_provider_register_type(module);
    g_providerTypes[0] = corvena_menu_provider_get_type();
}

// Copies still running finish first, so that unloading the module never cuts one off.
G_MODULE_EXPORT void nautilus_module_shutdown(void) {
    CSendThreads::Instance().WaitAll();
}

G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* count) {
    *types = g_providerTypes;
    *count = G_N_ELEMENTS(g_providerTypes);
}

}  // extern "C"
