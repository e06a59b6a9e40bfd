#include "config/ImageTable.h"

namespace {

// Single images are marked side by side, strips stacked; the ids are those of the
// bitmap cache, not in load order.
const ImageTableRow kFixedImages[] = {
  {117, "MANAGER_BG_ID2", "resources/img/manager_bg_blank.png", 1, true},
  {102, "BG_ID_PLAIN", "resources/img/main-frame-bg.png", 1, true},
  {104, "BG_ID_DISPLAY", "resources/img/main-display.png", 1, true},
  {105, "BG_ID_EDIT", "resources/img/layer-main.png", 1, true},
  {106, "BG_ID_BROWSER", "resources/img/browser-layer.png", 1, true},
  {107, "BG_ID_MOD", "resources/img/mod-seq.png", 1, true},
  {108, "BG_ID_GLOBAL", "resources/img/layer-global-settings.png", 1, true},
  {109, "BG_ID_KNOB", "resources/img/knob-frame-bg.png", 1, true},
  {120, "KNOB_ID25", "resources/img/knob-25.png", 25, false},
  {121, "KNOB_ID49", "resources/img/knob-49.png", 49, false},
  {122, "KNOB_ID64", "resources/img/knob-64.png", 64, false},
  {123, "KNOB_ID101", "resources/img/knob-101.png", 101, false},
  {124, "KNOB_ID127", "resources/img/knob-127.png", 127, false},
  {125, "KNOB_ID127_SM", "resources/img/knob-sm-127.png", 127, false},
  {128, "KNOB_ID29_SM", "resources/img/knob-sm-29.png", 29, false},
  {126, "KNOB_ID201", "resources/img/knob-201.png", 201, false},
  {127, "KNOB_ID280", "resources/img/knob-280.png", 280, false},
  {204, "BUTTON_LIB_DISCARD_ID", "resources/img/btn-lib-discard-edit.png", 1, true},
  {205, "BUTTON_LIB_CANCEL_ID", "resources/img/btn-cancel-request.png", 1, true},
  {118, "PROGRESS_INDICATOR_ID", "resources/img/overlayer.png", 1, true},
  {200, "BUTTON_LOCK_WHITE_ID", "resources/img/btn-lock-white.png", 2, false},
  {300, "BUTTON_PINK_ID", "resources/img/btn-pink-new.png", 2, false},
  {302, "BUTTON_BLCK_ID", "resources/img/btn-black.png", 2, false},
  {303, "BUTTON_BLCK_10_ID", "resources/img/btn-black-10-new.png", 2, false},
  {304, "BUTTON_SYNC_ID", "resources/img/btn-tempo-sync.png", 2, false},
  {305, "BUTTON_SYNC_SML_ID", "resources/img/btn-tempo-sync-sml.png", 2, false},
  {316, "BUTTON_ID_SETTING_LOCK", "resources/img/setting-lock.png", 2, false},
  {131, "BUTTON_LIB_LOAD_TO_T1_ID", "resources/img/lib-load-to-timbre1.png", 2, false},
  {132, "BUTTON_LIB_LOAD_TO_T2_ID", "resources/img/lib-load-to-timbre2.png", 2, false},
  {326, "BG_RENAME_ID", "resources/img/newNameBG.png", 1, true},
  {206, "LED_MIXER_MIDI_ID", "resources/img/led-pink.png", 2, false},
  {201, "LAYER_LED_SET_ID", "resources/img/layer-led-set.png", 3, false},
  {202, "BG_ID_TIMBRE_PROTECTOR", "resources/img/layer-select-protector.png", 1, true},
  {203, "BTN_ID_TIMBRE_LINKER", "resources/img/layer-linker.png", 2, false},
  {119, "BUTTON_LIB_DATATYPE_ID", "resources/img/btn-lib-display-multis.png", 2, false},
  {161, "BUTTON_BANK_RECALL_ID", "resources/img/btn-lib-bank-memory.png", 2, false},
  {332, "BTN_18x18_ID", "resources/img/btn-18x18.png", 1, true},
  {258, "BTN_127x18_ID", "resources/img/btn-127x18.png", 1, true},
  {327, "BUTTON_LIB_LOAD_TO_ID", "resources/img/big-button-rudu.png", 2, false},
  {400, "BG_ABOUT_ID", "resources/img/about-Davrel.png", 1, true},
  {401, "BTN_EXIT_ABOUT_ID", "resources/img/about-exit.png", 1, true},
  {402, "BTN_SEE_ABOUT_ID", "resources/img/about-trigger.png", 1, true},
  {403, "BG_FIRST_RUN_ID", "resources/img/first-run-Davrel.png", 1, true},
  {404, "BTN_EXIT_FIRST_RUN_ID", "resources/img/first-run-exit.png", 1, true},
  {418, "BG_ID_MIDI_FILTERS", "resources/img/advanced-midi-filters.png", 1, true},
  {419, "BTN_CHECKBOX_ID", "resources/img/checkbox-button.png", 2, false},
  {999, "BUTTON_BANK_SEARCH_ID", "resources/img/btn-search.png", 2, false},
  {998, "BG_SEARCH_FIELD_ID", "resources/img/bg-librarian-search-field.png", 1, true},
  {996, "BUTTON_BANK_OVERWRITE_ID", "resources/img/btn-overwrite-slot.png", 1, true},
  {997, "BTN_RELEASE_ALL_LOCKS", "resources/img/release-all-locks.png", 1, true},
};

// The own backgrounds of layers that come and go: the captions and menu fields of
// their controls, which the page's artwork cannot carry. Either LFO's layers share
// one image, each at its own position.
const ImageTableRow kLayerBackgrounds[] = {
  {430, "BG_MINI_MIXER_ID", "resources/img/mini-mixer.png", 1, true},
  {431, "BG_OSC1_CONTROLS_ID", "resources/img/osc1-controls.png", 1, true},
  {432, "BG_OSC1_DWGS_ID", "resources/img/osc1-dwgs.png", 1, true},
  {433, "BG_LFO_FREQUENCY_ID", "resources/img/lfo-frequency.png", 1, true},
  {434, "BG_LFO_SYNC_NOTE_ID", "resources/img/lfo-sync-note.png", 1, true},
  {435, "BG_DELAY_TIME_ID", "resources/img/delay-time.png", 1, true},
  {436, "BG_DELAY_NOTE_ID", "resources/img/delay-note.png", 1, true},
};

// Both skins name their background the same, so the configuration need not know the skin.
const ImageTableRow kMainBackground = {103, "BG_ID_MAIN", "resources/img/main-bg.png", 1, true};
const ImageTableRow kMainBackgroundBlack = {500, "BG_ID_MAIN", "resources/img/main-bg-black.png", 1, true};

}  // namespace

std::vector<ImageTableRow> editorImages(int skin)
{
  std::vector<ImageTableRow> rows(std::begin(kFixedImages), std::end(kFixedImages));
  rows.insert(rows.end(), std::begin(kLayerBackgrounds), std::end(kLayerBackgrounds));
  rows.push_back(skin ? kMainBackgroundBlack : kMainBackground);
  return rows;
}
