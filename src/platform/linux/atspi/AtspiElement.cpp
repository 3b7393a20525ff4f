#include "platform/linux/atspi/AtspiElement.h"

#include <atspi/atspi.h>

#include <cstdio>

namespace vokari::platform_linux {
namespace {

// Takes a g_malloc'ed string (and a possible error) and turns it into a non-empty text or nothing.
std::optional<std::string> taken(gchar* text, GError* error) {
    if (error) {
        g_error_free(error);
    }
    std::optional<std::string> out;
    if (text && *text) {
        out = std::string(text);
    }
    g_free(text);
    return out;
}

} // namespace

AtspiElement::AtspiElement(AtspiAccessible* accessible) : accessible(accessible) {}

AtspiElement::~AtspiElement() {
    if (accessible) {
        g_object_unref(accessible);
    }
}

std::optional<std::string> AtspiElement::text(AccessibleText which) {
    GError* error = nullptr;
    switch (which) {
    case AccessibleText::title:
        return taken(atspi_accessible_get_name(accessible, &error), error);
    case AccessibleText::description:
        return taken(atspi_accessible_get_description(accessible, &error), error);
    case AccessibleText::value:
        return value();
    case AccessibleText::roleDescription:
        return taken(atspi_accessible_get_localized_role_name(accessible, &error), error);
    }
    return std::nullopt;
}

std::optional<std::string> AtspiElement::value() {
    if (AtspiText* textIface = atspi_accessible_get_text_iface(accessible)) {
        GError* error = nullptr;
        const gint count = atspi_text_get_character_count(textIface, &error);
        std::optional<std::string> out;
        if (!error && count > 0) {
            out = taken(atspi_text_get_text(textIface, 0, count, &error), error);
        } else if (error) {
            g_error_free(error);
        }
        g_object_unref(textIface);
        if (out) {
            return out;
        }
    }
    if (AtspiValue* valueIface = atspi_accessible_get_value_iface(accessible)) {
        GError* error = nullptr;
        const double current = atspi_value_get_current_value(valueIface, &error);
        g_object_unref(valueIface);
        if (error) {
            g_error_free(error);
            return std::nullopt;
        }
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", current);
        return std::string(buffer);
    }
    return std::nullopt;
}

std::optional<AtspiElement::Extents> AtspiElement::extents() {
    if (extentsRead) {
        return cachedExtents;
    }
    extentsRead = true;
    AtspiComponent* component = atspi_accessible_get_component_iface(accessible);
    if (!component) {
        return std::nullopt;
    }
    GError* error = nullptr;
    AtspiRect* rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error);
    g_object_unref(component);
    if (error) {
        g_error_free(error);
    } else if (rect) {
        cachedExtents = Extents{{static_cast<double>(rect->x), static_cast<double>(rect->y)},
                                {static_cast<double>(rect->width), static_cast<double>(rect->height)}};
    }
    g_free(rect);
    return cachedExtents;
}

std::optional<ScreenPoint> AtspiElement::position() {
    auto e = extents();
    return e ? std::optional<ScreenPoint>(e->origin) : std::nullopt;
}

std::optional<ScreenSize> AtspiElement::size() {
    auto e = extents();
    return e ? std::optional<ScreenSize>(e->size) : std::nullopt;
}

std::vector<std::shared_ptr<AccessibleElement>> AtspiElement::children() {
    std::vector<std::shared_ptr<AccessibleElement>> out;
    GError* error = nullptr;
    const gint count = atspi_accessible_get_child_count(accessible, &error);
    if (error) {
        g_error_free(error);
        return out;
    }
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible, i, &error);
        if (error) {
            g_error_free(error);
            error = nullptr;
        }
        if (child) {
            out.push_back(std::make_shared<AtspiElement>(child));
        }
    }
    return out;
}

} // namespace vokari::platform_linux
