# Empty dependencies file for card_scene.
# This may be replaced when dependencies are built.
