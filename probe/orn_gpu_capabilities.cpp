// The port's GPU probe: names the best graphics card that offers Vulkan 1.3.
// Prints "GPU: <name>, <driver>, Vulkan <x.y.z>: live <W>x<H>" and exits 0,
// or says why there is none and exits non-zero. The loader is opened at run
// time so that a machine without Vulkan gets a message instead of a failed
// dynamic link.
#define VK_NO_PROTOTYPES
#include <vulkan/vulkan.h>

#include <dlfcn.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int type_rank(VkPhysicalDeviceType t) {
    switch (t) {
        case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return 4;
        case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return 3;
        case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return 2;
        case VK_PHYSICAL_DEVICE_TYPE_CPU: return 1;
        default: return 0;
    }
}

// The probe has no display of its own to ask; the launcher cuts this part off.
constexpr int DEFAULT_LIVE_W = 1920;
constexpr int DEFAULT_LIVE_H = 1080;

}  // namespace

int main(int argc, char** argv) {
    // Each line leaves at once: the launcher reads a pipe, and a driver that
    // crashes while Vulkan is torn down must not take the card line with it.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bool want_live = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--live-resolution") == 0) want_live = true;

    void* lib = dlopen("libvulkan.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib) lib = dlopen("libvulkan.so", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::printf("No Vulkan loader (libvulkan.so.1) on this system.\n");
        return 2;
    }
    auto get_proc = reinterpret_cast<PFN_vkGetInstanceProcAddr>(dlsym(lib, "vkGetInstanceProcAddr"));
    if (!get_proc) {
        std::printf("The Vulkan loader has no vkGetInstanceProcAddr.\n");
        return 2;
    }
    auto enum_version = reinterpret_cast<PFN_vkEnumerateInstanceVersion>(get_proc(nullptr, "vkEnumerateInstanceVersion"));
    auto create_instance = reinterpret_cast<PFN_vkCreateInstance>(get_proc(nullptr, "vkCreateInstance"));
    uint32_t loader_version = VK_API_VERSION_1_0;
    if (enum_version) enum_version(&loader_version);
    if (!create_instance || loader_version < VK_API_VERSION_1_1) {
        std::printf("The Vulkan loader is too old (Vulkan %u.%u).\n", VK_API_VERSION_MAJOR(loader_version),
                    VK_API_VERSION_MINOR(loader_version));
        return 3;
    }

    VkApplicationInfo app{};
    app.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    app.pApplicationName = "orn-gpu-capabilities";
    app.apiVersion = VK_API_VERSION_1_3;
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    info.pApplicationInfo = &app;
    VkInstance instance = VK_NULL_HANDLE;
    VkResult res = create_instance(&info, nullptr, &instance);
    if (res != VK_SUCCESS) {
        std::printf("No Vulkan driver could be loaded (vkCreateInstance: %d).\n", static_cast<int>(res));
        return 4;
    }

    auto destroy_instance = reinterpret_cast<PFN_vkDestroyInstance>(get_proc(instance, "vkDestroyInstance"));
    auto enum_devices = reinterpret_cast<PFN_vkEnumeratePhysicalDevices>(get_proc(instance, "vkEnumeratePhysicalDevices"));
    auto get_props = reinterpret_cast<PFN_vkGetPhysicalDeviceProperties>(get_proc(instance, "vkGetPhysicalDeviceProperties"));
    auto get_props2 = reinterpret_cast<PFN_vkGetPhysicalDeviceProperties2>(get_proc(instance, "vkGetPhysicalDeviceProperties2"));

    uint32_t count = 0;
    if (enum_devices) enum_devices(instance, &count, nullptr);
    std::vector<VkPhysicalDevice> devices(count);
    if (count) enum_devices(instance, &count, devices.data());
    devices.resize(count);
    if (devices.empty() || !get_props) {
        std::printf("No Vulkan device found.\n");
        if (destroy_instance) destroy_instance(instance, nullptr);
        return 5;
    }

    VkPhysicalDevice best = VK_NULL_HANDLE;
    VkPhysicalDeviceProperties best_props{};
    for (VkPhysicalDevice d : devices) {
        VkPhysicalDeviceProperties p{};
        get_props(d, &p);
        if (p.apiVersion < VK_API_VERSION_1_3) continue;
        if (best == VK_NULL_HANDLE || type_rank(p.deviceType) > type_rank(best_props.deviceType)) {
            best = d;
            best_props = p;
        }
    }
    if (best == VK_NULL_HANDLE) {
        std::printf("No Vulkan 1.3 device among %u found (update the driver).\n", count);
        if (destroy_instance) destroy_instance(instance, nullptr);
        return 6;
    }

    std::string driver = "unknown driver";
    if (get_props2) {
        VkPhysicalDeviceDriverProperties drv{};
        drv.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DRIVER_PROPERTIES;
        VkPhysicalDeviceProperties2 p2{};
        p2.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2;
        p2.pNext = &drv;
        get_props2(best, &p2);
        if (drv.driverName[0]) driver = drv.driverName;
    }

    uint32_t v = best_props.apiVersion;
    std::printf("GPU: %s, %s, Vulkan %u.%u.%u", best_props.deviceName, driver.c_str(), VK_API_VERSION_MAJOR(v),
                VK_API_VERSION_MINOR(v), VK_API_VERSION_PATCH(v));
    if (want_live) {
        std::printf(": live %dx%d", DEFAULT_LIVE_W, DEFAULT_LIVE_H);
    }
    std::printf("\n");
    std::fflush(stdout);
    if (destroy_instance) destroy_instance(instance, nullptr);
    return 0;
}
