// The Nautilus module loaded as Nautilus loads it: dlopen, its three entry points with a type
// module of the host's kind, then the menu provider it registers asked for the entries of
// real files and folders. The file infos are the host's part (Nautilus's own NautilusFile
// cannot be had outside Nautilus): a small object with the interface, over a real GFile.

#include <dlfcn.h>
#include <gio/gio.h>
#include <glib-object.h>
extern "C" {
#include <nautilus-extension.h>
}

#include "shellext/CountLines.h"
#include "shellext/SendNotice.h"
#include "shellext/tests/SendFixture.h"

// What Nautilus gives a module to register its types in: loading and unloading are the
// host's business and succeed here.
struct TestTypeModule {
    GTypeModule parent;
};
struct TestTypeModuleClass {
    GTypeModuleClass parentClass;
};
G_DEFINE_TYPE(TestTypeModule, test_type_module, G_TYPE_TYPE_MODULE)
static gboolean TestModuleLoad(GTypeModule*) {
    return TRUE;
}
static void TestModuleUnload(GTypeModule*) {}
static void test_type_module_init(TestTypeModule*) {}
static void test_type_module_class_init(TestTypeModuleClass* klass) {
    G_TYPE_MODULE_CLASS(klass)->load = TestModuleLoad;
    G_TYPE_MODULE_CLASS(klass)->unload = TestModuleUnload;
}

// A chosen item as Nautilus describes it to extensions.
struct TestFileInfo {
    GObject parent;
    GFile* location;
};
struct TestFileInfoClass {
    GObjectClass parentClass;
};
static void test_file_info_iface_init(NautilusFileInfoInterface* iface);
G_DEFINE_TYPE_WITH_CODE(TestFileInfo, test_file_info, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, test_file_info_iface_init))
static GFile* TestFileInfoLocation(NautilusFileInfo* info) {
    return G_FILE(g_object_ref(reinterpret_cast<TestFileInfo*>(info)->location));
}
static gboolean TestFileInfoIsDirectory(NautilusFileInfo* info) {
    return g_file_query_file_type(reinterpret_cast<TestFileInfo*>(info)->location,
                                  G_FILE_QUERY_INFO_NONE, nullptr) == G_FILE_TYPE_DIRECTORY;
}
static void test_file_info_iface_init(NautilusFileInfoInterface* iface) {
    iface->get_location = TestFileInfoLocation;
    iface->is_directory = TestFileInfoIsDirectory;
}
static void TestFileInfoDispose(GObject* object) {
    g_clear_object(&reinterpret_cast<TestFileInfo*>(object)->location);
    G_OBJECT_CLASS(test_file_info_parent_class)->dispose(object);
}
static void test_file_info_init(TestFileInfo*) {}
static void test_file_info_class_init(TestFileInfoClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = TestFileInfoDispose;
}

namespace {

using namespace shellext_test;
using Items = std::map<std::string, std::string>;

struct SModule {
    void (*initialize)(GTypeModule*) = nullptr;
    void (*shutdown)() = nullptr;
    void (*listTypes)(const GType**, int*) = nullptr;
};

// Loads the module once per process, as Nautilus does, and registers its types.
GType ProviderType(SModule& module) {
    static SModule loaded;
    static GType type = [] {
        void* handle = dlopen(NAUTILUS_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(handle, nullptr) << dlerror();
        if (handle == nullptr) {
            return G_TYPE_INVALID;
        }
        loaded.initialize =
            reinterpret_cast<void (*)(GTypeModule*)>(dlsym(handle, "nautilus_module_initialize"));
        loaded.shutdown = reinterpret_cast<void (*)()>(dlsym(handle, "nautilus_module_shutdown"));
        loaded.listTypes = reinterpret_cast<void (*)(const GType**, int*)>(
            dlsym(handle, "nautilus_module_list_types"));
        if (loaded.initialize == nullptr || loaded.shutdown == nullptr ||
            loaded.listTypes == nullptr) {
            ADD_FAILURE() << "an entry point is missing";
            return G_TYPE_INVALID;
        }
        auto* typeModule = G_TYPE_MODULE(g_object_new(test_type_module_get_type(), nullptr));
        g_type_module_use(typeModule);
        loaded.initialize(typeModule);
        const GType* types = nullptr;
        int count = 0;
        loaded.listTypes(&types, &count);
        EXPECT_EQ(count, 1);
        return count == 1 ? types[0] : G_TYPE_INVALID;
    }();
    module = loaded;
    return type;
}

NautilusFileInfo* FileInfo(GFile* location) {
    auto* info = static_cast<TestFileInfo*>(g_object_new(test_file_info_get_type(), nullptr));
    info->location = location;
    return NAUTILUS_FILE_INFO(info);
}

struct SItem {
    std::string name, label, tip;
};

class NautilusModuleTest : public SendFixture {
  protected:
    void SetUp() override {
        // A GObject misuse in the module (a wrong cast, a bad property) ends the test.
        g_log_set_always_fatal(
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
        SetNoticeSink([](const std::string&, const std::string&) {});
        m_type = ProviderType(m_module);
        ASSERT_NE(m_type, G_TYPE_INVALID);
        m_provider = G_OBJECT(g_object_new(m_type, nullptr));
    }
    void TearDown() override {
        g_clear_object(&m_provider);
        SetNoticeSink({});
    }

    // The entries offered for the chosen locations (each taken over); the last list's items
    // stay in m_items for activation.
    std::vector<SItem> Entries(const std::vector<GFile*>& chosen) {
        GList* files = nullptr;
        for (GFile* location : chosen) {
            files = g_list_append(files, FileInfo(location));
        }
        FreeItems();
        m_items = nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(m_provider), files);
        g_list_free_full(files, g_object_unref);
        std::vector<SItem> entries;
        for (GList* it = m_items; it != nullptr; it = it->next) {
            char* name = nullptr;
            char* label = nullptr;
            char* tip = nullptr;
            g_object_get(it->data, "name", &name, "label", &label, "tip", &tip, nullptr);
            entries.push_back({name, label, tip != nullptr ? tip : ""});
            g_free(name);
            g_free(label);
            g_free(tip);
        }
        return entries;
    }

    static GFile* Local(const fs::path& path) { return g_file_new_for_path(path.c_str()); }

    SModule m_module;
    GType m_type = G_TYPE_INVALID;
    GObject* m_provider = nullptr;
    GList* m_items = nullptr;

    ~NautilusModuleTest() override { FreeItems(); }
    void FreeItems() {
        if (m_items != nullptr) {
            nautilus_menu_item_list_free(m_items);
            m_items = nullptr;
        }
    }
};

TEST_F(NautilusModuleTest, TheModuleRegistersAMenuProvider) {
    EXPECT_TRUE(g_type_is_a(m_type, NAUTILUS_TYPE_MENU_PROVIDER));
}

TEST_F(NautilusModuleTest, OffersTheEntryForAFileAndAFolderAndSendsTheFirstChosen) {
    const fs::path file = MakeFile("a.txt", "a");
    MakeFile("proj/b.txt", "b");
    struct Row {
        const char* why;
        std::vector<fs::path> chosen;
        Items expected;
    };
    const Row rows[] = {
        {"a file", {file}, {{"a.txt", "a"}}},
        {"a folder", {m_outside / "proj"}, {{"proj", "<folder>"}, {"proj/b.txt", "b"}}},
        {"a file chosen before a folder", {file, m_outside / "proj"}, {{"a.txt", "a"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        fs::remove_all(m_syncDir);
        fs::create_directory(m_syncDir);
        std::vector<GFile*> chosen;
        for (const fs::path& path : row.chosen) {
            chosen.push_back(Local(path));
        }
        const std::vector<SItem> entries = Entries(chosen);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].label, kMenuText);
        EXPECT_EQ(entries[0].tip, kHelpText);
        EXPECT_EQ(entries[0].name, "CorvenaSend::Send");

        nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(m_items->data));
        // The module's shutdown lets running copies finish, as Nautilus's exit does.
        m_module.shutdown();
        EXPECT_EQ(Tree(m_syncDir), row.expected);
    }
}

TEST_F(NautilusModuleTest, OffersNothingWithoutALocalItemToCopy) {
    EXPECT_TRUE(Entries({}).empty());
    EXPECT_TRUE(Entries({g_file_new_for_uri("sftp://host.invalid/x.txt")}).empty());
}

}  // namespace
