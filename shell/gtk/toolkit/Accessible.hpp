// Names for what a screen reader reads, where GTK 4.8's own are wrong.
#pragma once

#include <gtk/gtk.h>

namespace corvane::gtk {

// GTK 4.8 names a labelled button twice, by its label and again by the label inside it, and a button
// with a child of its own only by its type: the button is named once, by the text it shows.
inline void nameAccessible(GtkWidget* widget, const char* text) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, text, -1);
    gtk_accessible_reset_relation(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_RELATION_LABELLED_BY);
}

// The text of the first label in widget, as shown (mnemonics taken out); none without a label.
inline const char* firstLabelText(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget)) return gtk_label_get_text(GTK_LABEL(widget));
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
        if (const char* text = firstLabelText(child)) return text;
    return nullptr;
}

// Every button in a window built by the toolkit or libadwaita: by its label, or an icon alone by its tooltip.
// A menu's rows too: GTK 4.18 names them by a label it leaves out of the tree, so they read as nothing.
inline void nameButtons(GtkWidget* root) {
    for (GtkWidget* child = gtk_widget_get_first_child(root); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child)) {
            GtkWidget* face = gtk_button_get_child(GTK_BUTTON(child));
            const char* tip = gtk_widget_get_tooltip_text(child);
            if (GTK_IS_LABEL(face)) nameAccessible(child, gtk_label_get_text(GTK_LABEL(face)));
            else if (GTK_IS_IMAGE(face) && tip && *tip) nameAccessible(child, tip);
        } else if (GTK_IS_CHECK_BUTTON(child)) {
            if (const char* label = gtk_check_button_get_label(GTK_CHECK_BUTTON(child))) nameAccessible(child, label);
        } else if (gtk_accessible_get_accessible_role(GTK_ACCESSIBLE(child)) == GTK_ACCESSIBLE_ROLE_MENU_ITEM) {
            if (const char* text = firstLabelText(child); text && *text) nameAccessible(child, text);
        }
        nameButtons(child);
    }
}

// The rows of every menu under bar, named each time a menu opens (the bar rebuilds them when its model
// changes).
inline void nameMenuRows(GtkWidget* bar) {
    for (GtkWidget* child = gtk_widget_get_first_child(bar); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_POPOVER(child) && !g_object_get_data(G_OBJECT(child), "corvane-named-rows")) {
            g_object_set_data(G_OBJECT(child), "corvane-named-rows", GINT_TO_POINTER(1));
            g_signal_connect(child, "map", G_CALLBACK(nameButtons), nullptr);
        }
        nameMenuRows(child);
    }
}

} // namespace corvane::gtk
