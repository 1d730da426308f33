#include "desktop/StatusIcon.hpp"

#include <memory>
#include <vector>

#include "dialogs/About.hpp"

namespace corvane::gtk {

namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuPath = "/StatusNotifierItem/Menu";
constexpr gint32 kShow = 1, kQuit = 2;

constexpr const char* kXml = R"xml(<node>
<interface name="org.kde.StatusNotifierItem">
  <method name="ContextMenu"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
  <method name="Activate"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
  <method name="SecondaryActivate"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
  <method name="Scroll"><arg type="i" direction="in"/><arg type="s" direction="in"/></method>
  <property name="Category" type="s" access="read"/>
  <property name="Id" type="s" access="read"/>
  <property name="Title" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="WindowId" type="i" access="read"/>
  <property name="IconName" type="s" access="read"/>
  <property name="IconThemePath" type="s" access="read"/>
  <property name="IconPixmap" type="a(iiay)" access="read"/>
  <property name="OverlayIconName" type="s" access="read"/>
  <property name="AttentionIconName" type="s" access="read"/>
  <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
  <property name="ItemIsMenu" type="b" access="read"/>
  <property name="Menu" type="o" access="read"/>
  <signal name="NewTitle"/><signal name="NewIcon"/><signal name="NewToolTip"/>
  <signal name="NewStatus"><arg type="s"/></signal>
</interface>
<interface name="com.canonical.dbusmenu">
  <method name="GetLayout">
    <arg type="i" direction="in"/><arg type="i" direction="in"/><arg type="as" direction="in"/>
    <arg type="u" direction="out"/><arg type="(ia{sv}av)" direction="out"/>
  </method>
  <method name="GetGroupProperties">
    <arg type="ai" direction="in"/><arg type="as" direction="in"/><arg type="a(ia{sv})" direction="out"/>
  </method>
  <method name="GetProperty">
    <arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/>
  </method>
  <method name="Event">
    <arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/>
    <arg type="u" direction="in"/>
  </method>
  <method name="EventGroup"><arg type="a(isvu)" direction="in"/><arg type="ai" direction="out"/></method>
  <method name="AboutToShow"><arg type="i" direction="in"/><arg type="b" direction="out"/></method>
  <method name="AboutToShowGroup">
    <arg type="ai" direction="in"/><arg type="ai" direction="out"/><arg type="ai" direction="out"/>
  </method>
  <property name="Version" type="u" access="read"/>
  <property name="TextDirection" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="IconThemePath" type="as" access="read"/>
  <signal name="ItemsPropertiesUpdated"><arg type="a(ia{sv})"/><arg type="a(ias)"/></signal>
  <signal name="LayoutUpdated"><arg type="u"/><arg type="i"/></signal>
  <signal name="ItemActivationRequested"><arg type="i"/><arg type="u"/></signal>
</interface>
</node>)xml";

GDBusNodeInfo* nodeInfo() {
    static GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kXml, nullptr);
    return info;
}

const char* labelOf(gint32 id) { return id == kShow ? "Show Corvane" : id == kQuit ? "Quit Corvane" : nullptr; }

GVariant* itemProperties(gint32 id) {
    GVariantBuilder props;
    g_variant_builder_init(&props, G_VARIANT_TYPE_VARDICT);
    if (id == 0) g_variant_builder_add(&props, "{sv}", "children-display", g_variant_new_string("submenu"));
    else g_variant_builder_add(&props, "{sv}", "label", g_variant_new_string(labelOf(id)));
    return g_variant_builder_end(&props);
}

GVariant* layout(gint32 id) {
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    if (id == 0)
        for (gint32 child : {kShow, kQuit}) g_variant_builder_add(&children, "v", layout(child));
    return g_variant_new("(i@a{sv}av)", id, itemProperties(id), &children);
}

bool known(gint32 id) { return id == 0 || labelOf(id); }

} // namespace

StatusIcon::StatusIcon(GDBusConnection* bus, std::string iconDirectory, std::function<void()> show,
                       std::function<void()> quit)
    : bus_(GObjectRef<GDBusConnection>::ref(bus)),
      iconDirectory_(std::move(iconDirectory)),
      show_(std::move(show)),
      quit_(std::move(quit)) {
    if (!bus_ || !nodeInfo()) return;
    static const GDBusInterfaceVTable item{onItemCall, onItemProperty, nullptr, {}};
    static const GDBusInterfaceVTable menu{onMenuCall, onMenuProperty, nullptr, {}};
    itemObject_ =
        g_dbus_connection_register_object(bus_, kItemPath, nodeInfo()->interfaces[0], &item, this, nullptr, nullptr);
    menuObject_ =
        g_dbus_connection_register_object(bus_, kMenuPath, nodeInfo()->interfaces[1], &menu, this, nullptr, nullptr);
    if (itemObject_ && menuObject_)
        watch_ = g_bus_watch_name_on_connection(bus_, "org.kde.StatusNotifierWatcher", G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                onWatcherAppeared, nullptr, this, nullptr);
}

StatusIcon::~StatusIcon() {
    if (watch_) g_bus_unwatch_name(watch_);
    if (itemObject_) g_dbus_connection_unregister_object(bus_, itemObject_);
    if (menuObject_) g_dbus_connection_unregister_object(bus_, menuObject_);
}

void StatusIcon::onWatcherAppeared(GDBusConnection* bus, const gchar*, const gchar* owner, gpointer) {
    // Registered by our unique name: the watcher then finds the item at its usual path.
    g_dbus_connection_call(bus, owner, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                           "RegisterStatusNotifierItem", g_variant_new("(s)", g_dbus_connection_get_unique_name(bus)),
                           nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr, nullptr);
}

void StatusIcon::onItemCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                            GDBusMethodInvocation* invocation, gpointer data) {
    // A click on the icon shows the window; the menu is the host's to open.
    if (g_str_equal(method, "Activate")) static_cast<StatusIcon*>(data)->clicked(kShow);
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* StatusIcon::onItemProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                     GError** error, gpointer data) {
    auto* self = static_cast<StatusIcon*>(data);
    if (g_str_equal(name, "Category")) return g_variant_new_string("ApplicationStatus");
    if (g_str_equal(name, "Id")) return g_variant_new_string(kAppIconName);
    if (g_str_equal(name, "Title")) return g_variant_new_string("Corvane");
    if (g_str_equal(name, "Status")) return g_variant_new_string("Active");
    if (g_str_equal(name, "WindowId")) return g_variant_new_int32(0);
    if (g_str_equal(name, "IconName")) return g_variant_new_string(kAppIconName);
    if (g_str_equal(name, "IconThemePath")) return g_variant_new_string(self->iconDirectory_.c_str());
    if (g_str_equal(name, "IconPixmap")) return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
    if (g_str_equal(name, "OverlayIconName") || g_str_equal(name, "AttentionIconName")) return g_variant_new_string("");
    if (g_str_equal(name, "ToolTip"))
        return g_variant_new("(s@a(iiay)ss)", kAppIconName, g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0),
                             "Corvane", "");
    if (g_str_equal(name, "ItemIsMenu")) return g_variant_new_boolean(FALSE);
    if (g_str_equal(name, "Menu")) return g_variant_new_object_path(kMenuPath);
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", name);
    return nullptr;
}

void StatusIcon::onMenuCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                            GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<StatusIcon*>(data);
    if (g_str_equal(method, "GetLayout")) {
        gint32 parent = 0;
        g_variant_get_child(parameters, 0, "i", &parent);
        if (!known(parent))
            return g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.InvalidArgs",
                                                              "No such item");
        return g_dbus_method_invocation_return_value(invocation, g_variant_new("(u@(ia{sv}av))", 1u, layout(parent)));
    }
    if (g_str_equal(method, "GetGroupProperties")) {
        GVariantIter* ids = nullptr;
        g_variant_get(parameters, "(ai@as)", &ids, nullptr);
        GVariantBuilder out;
        g_variant_builder_init(&out, G_VARIANT_TYPE("a(ia{sv})"));
        gint32 id = 0;
        while (g_variant_iter_next(ids, "i", &id))
            if (known(id)) g_variant_builder_add(&out, "(i@a{sv})", id, itemProperties(id));
        g_variant_iter_free(ids);
        return g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(ia{sv}))", &out));
    }
    if (g_str_equal(method, "GetProperty")) {
        gint32 id = 0;
        const gchar* name = nullptr;
        g_variant_get(parameters, "(i&s)", &id, &name);
        GVariant* props = known(id) ? itemProperties(id) : nullptr;
        GVariant* value = props ? g_variant_lookup_value(props, name, nullptr) : nullptr;
        if (props) g_variant_unref(g_variant_ref_sink(props));
        if (!value)
            return g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.InvalidArgs",
                                                              "No such property");
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
        return g_variant_unref(value);
    }
    if (g_str_equal(method, "Event")) {
        gint32 id = 0;
        const gchar* event = nullptr;
        g_variant_get(parameters, "(i&svu)", &id, &event, nullptr, nullptr);
        // Answered first: what the click does may end the process.
        g_dbus_method_invocation_return_value(invocation, nullptr);
        if (g_str_equal(event, "clicked")) self->clicked(id);
        return;
    }
    if (g_str_equal(method, "EventGroup")) {
        GVariantIter* events = nullptr;
        g_variant_get(parameters, "(a(isvu))", &events);
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        std::vector<gint32> clicks;
        gint32 id = 0;
        const gchar* event = nullptr;
        while (g_variant_iter_next(events, "(i&svu)", &id, &event, nullptr, nullptr)) {
            if (!known(id)) g_variant_builder_add(&errors, "i", id);
            else if (g_str_equal(event, "clicked")) clicks.push_back(id);
        }
        g_variant_iter_free(events);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(ai)", &errors));
        for (gint32 click : clicks) self->clicked(click);
        return;
    }
    if (g_str_equal(method, "AboutToShow"))
        return g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
    if (g_str_equal(method, "AboutToShowGroup"))
        return g_dbus_method_invocation_return_value(
            invocation, g_variant_new("(@ai@ai)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0),
                                      g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0)));
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
}

GVariant* StatusIcon::onMenuProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                     GError** error, gpointer data) {
    auto* self = static_cast<StatusIcon*>(data);
    if (g_str_equal(name, "Version")) return g_variant_new_uint32(3);
    if (g_str_equal(name, "TextDirection")) return g_variant_new_string("ltr");
    if (g_str_equal(name, "Status")) return g_variant_new_string("normal");
    if (g_str_equal(name, "IconThemePath")) {
        const gchar* dirs[] = {self->iconDirectory_.c_str(), nullptr};
        return g_variant_new_strv(dirs, self->iconDirectory_.empty() ? 0 : 1);
    }
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", name);
    return nullptr;
}

void StatusIcon::clicked(gint32 id) {
    // Later, from the main loop: quitting may free what this call runs in.
    auto* action = new std::function<void()>(id == kShow ? show_ : id == kQuit ? quit_ : nullptr);
    g_idle_add_once(
        [](gpointer data) {
            std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(data));
            if (*run) (*run)();
        },
        action);
}

} // namespace corvane::gtk
