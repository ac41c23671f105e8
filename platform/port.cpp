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

} // namespace pelko::platform
