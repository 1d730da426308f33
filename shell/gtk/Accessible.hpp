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

// Every button in a window built by the toolkit or libadwaita: by its label, or an icon alone by its tooltip.
inline void nameButtons(GtkWidget* root) {
    for (GtkWidget* child = gtk_widget_get_first_child(root); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child)) {
            GtkWidget* face = gtk_button_get_child(GTK_BUTTON(child));
            const char* tip = gtk_widget_get_tooltip_text(child);
            if (GTK_IS_LABEL(face)) nameAccessible(child, gtk_label_get_text(GTK_LABEL(face)));
            else if (GTK_IS_IMAGE(face) && tip && *tip) nameAccessible(child, tip);
        } else if (GTK_IS_CHECK_BUTTON(child)) {
            if (const char* label = gtk_check_button_get_label(GTK_CHECK_BUTTON(child))) nameAccessible(child, label);
        }
        nameButtons(child);
    }
}

} // namespace corvane::gtk
