#pragma once

#include "platform/audiounit/AUCarbonView.h"
#include "platform/audiounit/AUCocoaUIView.h"
#include "platform/audiounit/AUComponent.h"
#include "platform/audiounit/AudioUnitProperties.h"
#include "platform/audiounit/AudioUnitUtilities.h"
#include "platform/audiounit/CoreAudioTypes.h"
#include "platform/audiounit/MusicDevice.h"
