// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin_host.h"

#include "library_loader.h"

#include <map>

namespace vorla::host {

namespace {

// The effect passes its own record with every callback except the version
// query at the entry, which comes before the record exists.  Instances are
// found by record; during creation the instance being created answers.
std::mutex registryMutex;
std::map<AEffect*, PluginInstance*>& registry()
{
    static std::map<AEffect*, PluginInstance*> instances;
    return instances;
}
thread_local PluginInstance* instanceBeingCreated = nullptr;

} // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string& error)
{
    std::string reason;
    void* handle = loader::load(path, reason);
    if (handle == nullptr)
    {
        error = "cannot load plug-in '" + path + "': " + reason;
        return nullptr;
    }
    auto entry = reinterpret_cast<EntryProc>(loader::symbol(handle, "VSTPluginMain"));
    if (entry == nullptr)
    {
        error = "'" + path + "' is not a VST 2.4 plug-in (no VSTPluginMain)";
        loader::unload(handle);
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle, entry, path));
}

PluginLibrary::~PluginLibrary()
{
    loader::unload(handle_);
}

void* PluginLibrary::symbol(const char* name) const
{
    return loader::symbol(handle_, name);
}

std::unique_ptr<PluginInstance> PluginInstance::create(const PluginLibrary& library,
                                                       Handler handler, std::string* error)
{
    std::unique_ptr<PluginInstance> instance(new PluginInstance());
    instance->handler_ = std::move(handler);
    instanceBeingCreated = instance.get();
    AEffect* effect = library.entry()(&PluginInstance::callback);
    instanceBeingCreated = nullptr;
    if (effect == nullptr)
    {
        if (error)
            *error = "plug-in '" + library.path() + "' refused to create an effect";
        return nullptr;
    }
    if (effect->magic != kEffectMagic)
    {
        if (error)
            *error = "plug-in '" + library.path() + "' returned a record without the VST magic";
        return nullptr;
    }
    instance->effect_ = effect;
    {
        std::lock_guard lock(registryMutex);
        registry()[effect] = instance.get();
    }
    return instance;
}

PluginInstance::~PluginInstance()
{
    if (effect_ != nullptr)
        close();
}

intptr_t PluginInstance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt)
{
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void PluginInstance::setParameter(int32_t index, float value)
{
    effect_->setParameter(effect_, index, value);
}

float PluginInstance::getParameter(int32_t index)
{
    return effect_->getParameter(effect_, index);
}

void PluginInstance::processReplacing(float** inputs, float** outputs, int32_t frames)
{
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

intptr_t PluginInstance::close()
{
    AEffect* effect = effect_;
    intptr_t answer = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    {
        std::lock_guard lock(registryMutex);
        registry().erase(effect);
    }
    effect_ = nullptr;
    return answer;
}

void PluginInstance::setHandler(Handler handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<HostCall> PluginInstance::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

void PluginInstance::clearCalls()
{
    std::lock_guard lock(mutex_);
    calls_.clear();
}

intptr_t PluginInstance::defaultAnswer(const HostCall& call)
{
    return call.opcode == audioMasterVersion ? kVstVersion : 0;
}

intptr_t PluginInstance::handle(const HostCall& call)
{
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        handler = handler_;
    }
    return handler ? handler(call) : defaultAnswer(call);
}

intptr_t PluginInstance::callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                  void* ptr, float opt)
{
    HostCall call{effect != nullptr, opcode, index, value, ptr, opt};
    PluginInstance* instance = nullptr;
    if (effect != nullptr)
    {
        std::lock_guard lock(registryMutex);
        auto found = registry().find(effect);
        if (found != registry().end())
            instance = found->second;
    }
    if (instance == nullptr)
        instance = instanceBeingCreated;
    if (instance == nullptr)
        return defaultAnswer(call);
    return instance->handle(call);
}

} // namespace vorla::host
