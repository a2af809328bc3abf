#ifndef __OBJECT_ANIMATION_H
#define __OBJECT_ANIMATION_H

// The animation step of an object, inline for callers that run it on many
// objects every tick (the unit loop, the projectiles).
#include "objects.h"
#include "shapes.h"

// The object's sequence when get_sequence would answer it from its kept lists
// (a pure lookup then), NULL otherwise (not kept, no sequence or no shape).
inline const sequence_data *kept_object_sequence(const object_data *object)
{
	const uint32 collection = object->shape_collection_index, sequence = object->shape_sequence_index;
	if (kept_sequence_lists_generation != definitions_generation || collection == NO_SHAPE_INDEX ||
		sequence == NO_SHAPE_INDEX)
	{
		return nullptr;
	}
	const kept_sequence_list &list = kept_sequence_lists[collection];
	return static_cast<int32>(sequence) < list.count ? list.sequences[sequence] : nullptr;
}

enum // the sounds an animation step plays, in this order
{
	_animation_first_sound = 1 << 0, // sound 0: the sequence starts
	_animation_last_frame_sound = 1 << 1, // sound 2: it wraps
	_animation_key_frame_sound = 1 << 2 // sound 1: its key frame
};
// Plays the sequence's sounds of one step at the object.
void play_animation_step_sounds(int16 object_index, const object_data *object, const sequence_data *sequence,
	uint32 sounds);

// One step of a visible object's animation with its sequence found (NULL: none).
// The sounds play after the record is written: they read only its location and
// media flags, which the step leaves alone, so they play with the same values
// in the same order; the step itself then calls nothing on the common tick.
inline void animate_object_step(int16 object_index, object_data *object, const sequence_data *sequence)
{
	uint32 results = 0, sounds = 0;
	const int32 ticks = object->shape_ticks_per_frame;
	if (sequence && ticks >= 1)
	{
		// Without branches: whether a unit's phase wraps or its transfer period
		// ends this tick follows no pattern a predictor learns across units.
		const int32 old_phase = object->shape_phase;
		sounds = static_cast<uint32>((old_phase | object->shape_frame_index) == 0);
		// phase >= ticks ? 1 : phase + 1
		const int32 wraps = static_cast<int32>(old_phase >= ticks);
		const int32 phase = (old_phase & (wraps - 1)) + 1;
		object->shape_phase = static_cast<int8>(phase);
		if (phase == ticks)
		{
			int32 frame = object->shape_frame_index;
			const int32 frames = sequence->frames_per_view;
			results = _object_animation_new_frame_flag;
			if (object->flags & _object_animates_backwards_flag)
			{
				frame -= 1;
				if (frame < 0)
				{
					frame = MAX(frames - 1, 0);
					results |= _object_animation_last_frame_flag;
					sounds |= _animation_last_frame_sound;
				}
			}
			else
			{
				frame += 1;
				if (frame >= frames)
				{
					frame = sequence->loop_frame;
					results |= _object_animation_last_frame_flag;
					sounds |= _animation_last_frame_sound;
				}
			}
			object->shape_frame_index = static_cast<int8>(frame);
			if (frame == sequence->key_frame)
			{
				results |= _object_animation_key_frame_flag;
				sounds |= _animation_key_frame_sound;
			}
		}
	}

	const int32 transfer_mode = object->transfer_mode;
	if (transfer_mode != _transfer_mode_none)
	{
		// Counted in 32 bits: a period of 127 must not wrap its phase to -128.
		const int32 phase = object->transfer_phase + 1;
		const int32 ends = static_cast<int32>(phase > object->transfer_period);
		const int32 held_or_cycling = static_cast<int32>(transfer_mode == _transfer_mode_transparent_disappearing ||
			transfer_mode == _transfer_mode_transparent_appearing);
		if (ends & held_or_cycling)
		{
			if (transfer_mode == _transfer_mode_transparent_disappearing)
			{
				object->transfer_phase = object->transfer_period;
			}
			else
			{
				object->transfer_mode = _transfer_mode_transparent_cycle;
				object->transfer_period = static_cast<int8>(((object_index * 81) & 63) + 60);
				object->transfer_phase = 0;
			}
		}
		else
		{
			// Past the period: back to 0, finished.
			object->transfer_phase = static_cast<int8>(phase & (ends - 1));
			results |= static_cast<uint32>(ends) << _object_animation_transfer_mode_finished_bit;
		}
	}
	object->flags = (object->flags & ~static_cast<uint32>(_object_animation_flags)) | results;
	if (sounds) play_animation_step_sounds(object_index, object, sequence, sounds);
}

// animate_object_record, without a call when the sequence is kept.
[[gnu::always_inline]] inline void animate_object_record_inline(int16 object_index, object_data *object)
{
	if (object->flags & _object_is_invisible_flag) return;
	const sequence_data *sequence = kept_object_sequence(object);
	if (sequence) animate_object_step(object_index, object, sequence);
	else animate_object_record(object_index, object);
}

#endif
