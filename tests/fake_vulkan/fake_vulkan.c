/* A stand-in for libvulkan.so.1 whose one Vulkan 1.3 card is found normally
 * and whose driver crashes when the instance is torn down, as some do. The
 * GPU probe loads it by name when LD_LIBRARY_PATH points here. */
#define VK_NO_PROTOTYPES
#include <vulkan/vulkan.h>

#include <stdlib.h>
#include <string.h>

static int instance_object;
static int device_object;

static VKAPI_ATTR VkResult VKAPI_CALL enumerate_instance_version(uint32_t* version) {
    *version = VK_API_VERSION_1_3;
    return VK_SUCCESS;
}

static VKAPI_ATTR VkResult VKAPI_CALL create_instance(const VkInstanceCreateInfo* info,
                                                      const VkAllocationCallbacks* alloc, VkInstance* out) {
    (void)info;
    (void)alloc;
    *out = (VkInstance)&instance_object;
    return VK_SUCCESS;
}

static VKAPI_ATTR void VKAPI_CALL destroy_instance(VkInstance instance, const VkAllocationCallbacks* alloc) {
    (void)instance;
    (void)alloc;
    abort();
}

static VKAPI_ATTR VkResult VKAPI_CALL enumerate_devices(VkInstance instance, uint32_t* count,
                                                        VkPhysicalDevice* devices) {
    (void)instance;
    if (devices && *count >= 1) devices[0] = (VkPhysicalDevice)&device_object;
    *count = 1;
    return VK_SUCCESS;
}

static VKAPI_ATTR void VKAPI_CALL get_properties(VkPhysicalDevice device, VkPhysicalDeviceProperties* props) {
    (void)device;
    memset(props, 0, sizeof *props);
    props->apiVersion = VK_API_VERSION_1_3;
    props->deviceType = VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU;
    strcpy(props->deviceName, "Fake Crashing GPU");
}

static VKAPI_ATTR void VKAPI_CALL get_properties2(VkPhysicalDevice device, VkPhysicalDeviceProperties2* props) {
    get_properties(device, &props->properties);
    for (VkBaseOutStructure* s = (VkBaseOutStructure*)props->pNext; s; s = s->pNext)
        if (s->sType == VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DRIVER_PROPERTIES)
            strcpy(((VkPhysicalDeviceDriverProperties*)s)->driverName, "fakedrv");
}

__attribute__((visibility("default"))) VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL
vkGetInstanceProcAddr(VkInstance instance, const char* name) {
    (void)instance;
    if (!strcmp(name, "vkEnumerateInstanceVersion")) return (PFN_vkVoidFunction)enumerate_instance_version;
    if (!strcmp(name, "vkCreateInstance")) return (PFN_vkVoidFunction)create_instance;
    if (!strcmp(name, "vkDestroyInstance")) return (PFN_vkVoidFunction)destroy_instance;
    if (!strcmp(name, "vkEnumeratePhysicalDevices")) return (PFN_vkVoidFunction)enumerate_devices;
    if (!strcmp(name, "vkGetPhysicalDeviceProperties")) return (PFN_vkVoidFunction)get_properties;
    if (!strcmp(name, "vkGetPhysicalDeviceProperties2")) return (PFN_vkVoidFunction)get_properties2;
    return NULL;
}
