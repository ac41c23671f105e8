#include "platform/port.h"

#include <atomic>

namespace pelko::platform {

namespace {
std::atomic<PortFactory*> gFactory{nullptr};
} // namespace

void SetPortFactory(PortFactory* factory) {
    gFactory.store(factory);
}

std::unique_ptr<Port> OpenPort(const std::string& device) {
    PortFactory* factory = gFactory.load();
    return factory != nullptr ? factory->Open(device) : nullptr;
}

std::string DescribeDevice(const std::string& device) {
    PortFactory* factory = gFactory.load();
    return factory != nullptr ? factory->DescribeDevice(device) : std::string();
}

std::string LastOpenError() {
    PortFactory* factory = gFactory.load();
    return factory != nullptr ? factory->LastOpenError() : std::string();
}

void ReleaseOpenPorts() {
    PortFactory* factory = gFactory.load();
    if (factory != nullptr) {
        factory->ReleaseOpenPorts();
    }
}

ResetPlan ResetPlanFor(const std::string& device) {
    PortFactory* factory = gFactory.load();
    return factory != nullptr ? factory->ResetPlanFor(device) : ResetPlan{};
}

std::vector<DeviceChoice> DeviceChoices() {
    PortFactory* factory = gFactory.load();
    return factory != nullptr ? factory->DeviceChoices() : std::vector<DeviceChoice>{};
}

Remap RemapPort(int n, const std::string& value, std::string& why) {
    PortFactory* factory = gFactory.load();
    if (factory == nullptr) {
        why = "no port factory";
        return Remap::Refused;
    }
    return factory->RemapPort(n, value, why);
}

Remap SetResetPlan(int n, const ResetPlan& plan, std::string& why) {
    PortFactory* factory = gFactory.load();
    if (factory == nullptr) {
        why = "no port factory";
        return Remap::Refused;
    }
    return factory->SetResetPlan(n, plan, why);
}

std::unique_ptr<HandoffListener> ListenForHandoff(const std::string& device, std::string& why) {
    PortFactory* factory = gFactory.load();
    if (factory == nullptr) {
        why = "no port factory";
        return nullptr;
    }
    return factory->ListenForHandoff(device, why);
}

} // namespace pelko::platform
