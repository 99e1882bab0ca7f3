#!/bin/sh
# A zoom movie as a Slurm job array: each array task renders one part of
# the movie; the renderer's command line follows the script's name, and the
# array's size is the number of parts:
#   sbatch --array=0-7 slurm-movie.sh quaxel-render --frames 600 --location spot.toml \
#       --size 1280x720 --resume frames/f%05d.png
# A task that fails or is cut short is run again with the same command (or
# the whole array: --resume skips the frames that are done).
#SBATCH --job-name=quaxel-movie
#SBATCH --output=quaxel-movie-%A_%a.log
#SBATCH --ntasks=1
exec "$@" --part "${SLURM_ARRAY_TASK_ID}/${SLURM_ARRAY_TASK_COUNT}"
